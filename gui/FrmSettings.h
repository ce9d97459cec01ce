#pragma once
// The settings store: a form's placement and the values of list boxes, edit
// boxes and check boxes, each kept in the settings file under a section named
// after the widget's objectName. A store holds no widget and no open file
// between calls: every operation works out the settings file's path, opens the
// file for itself and releases it before it returns, on failure too.

#include <cstdint>
#include <stdexcept>
#include <string>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace tarvik::gui {

class ListBox;

// A write the settings file refused; what() is "Unable to write to " and the
// file's full path.
class SettingsWriteError : public std::runtime_error
{
  public:
    explicit SettingsWriteError(const std::string& path);
};

// A form's window state as the settings file knows it.
enum class FormWindowState : std::uint8_t
{
    Normal = 0,
    Minimized = 1,
    Maximized = 2,
};

class TFrmSettings
{
  public:
    TFrmSettings();

    // Names the form's section, loads its placement and applies it: position
    // and outer size (size only when the form has a border), -1 meaning not
    // stored, then normal or maximized state.
    void RestoreForm(QWidget* form);
    // Names the form's section, takes its placement and saves it.
    void StoreForm(QWidget* form);

    // Between the section SectionName and the fields. A minimized state is
    // saved, and so restored, as normal.
    void LoadPlacement();
    void SavePlacement();

    // The stored items are appended to those the list holds. Items are saved
    // without blanks and control characters at their ends, blank ones not at
    // all, each under its own index.
    void LoadListBox(ListBox* list);
    void SaveListBox(ListBox* list);

    // A missing value empties the edit. An edit whose text the user left as
    // loaded saves the very bytes it loaded, also ones the locale's encoding
    // cannot show.
    void LoadEdit(QLineEdit* edit);
    void SaveEdit(QLineEdit* edit);

    // A missing value unchecks the box.
    void LoadCheckBox(QCheckBox* box);
    void SaveCheckBox(QCheckBox* box);

    std::string SectionName;
    std::int32_t Left;
    std::int32_t Width;
    std::int32_t Top;
    std::int32_t Height;
    FormWindowState WindowState;
    std::string SectionPrefix;

  private:
    std::string sectionOf(const QWidget* widget) const;
};

} // namespace tarvik::gui
