#pragma once
// The About dialog: the maker's logo, two fixed lines of text, and a link
// that opens the maker's web address in the user's browser.

#include <QDialog>

class QLabel;
class QPushButton;

namespace tarvik::gui {

// The maker's web address as the link shows it, and as the shell opens it.
inline constexpr const char* kMakerAddress = "www.tarvik.example";
inline constexpr const char* kMakerUrl = "http://www.tarvik.example";

class TfrmAbout final : public QDialog
{
    Q_OBJECT

  public:
    // The result the dialog ends with when it is closed, as the caller's
    // modal loop sees it.
    static constexpr int ModalResultCancel = 2;

    explicit TfrmAbout(QWidget* owner);

    void BitBtn1Click();
    void Label1Click();

    void reject() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLabel* Label1;
    QLabel* Image1;
    QPushButton* BitBtn1;
    QLabel* ProgramLabel;
    QLabel* VersionLabel;
    bool m_linkPressed = false;
};

} // namespace tarvik::gui
