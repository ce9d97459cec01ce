#include "gui/FrmSettings.h"

#include "core/ProfileValues.h"
#include "gui/EditBytes.h"
#include "gui/FormPlacement.h"
#include "gui/ListBox.h"
#include "gui/Text.h"
#include "platform/Profile.h"
#include "platform/System.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <utility>
#include <vector>

namespace tarvik::gui {
namespace {

// One operation's use of the settings file: its path worked out anew, and the
// file released (the profile flush) when the operation ends, however it ends.
class SettingsFile
{
  public:
    SettingsFile() : m_path(settingsFilePath(platform::current().modulePath())) {}
    ~SettingsFile()
    {
        if (!m_released)
            platform::flushProfile(m_path);
    }
    SettingsFile(const SettingsFile&) = delete;
    SettingsFile& operator=(const SettingsFile&) = delete;

    std::string read(const std::string& section, const char* key) const
    {
        return platform::getProfileString(section, key, std::string(), m_path);
    }
    std::int32_t readInteger(const std::string& section, const char* key,
                             std::int32_t defaultValue) const
    {
        return parseProfileInteger(read(section, key), defaultValue);
    }
    bool readBoolean(const std::string& section, const char* key, bool defaultValue) const
    {
        return parseProfileBoolean(read(section, key), defaultValue);
    }
    platform::ProfileSection readSection(const std::string& section) const
    {
        return platform::getProfileSection(section, m_path);
    }

    // One operation's writes, all to one section, as one edit of it.
    void write(const std::string& section, std::vector<platform::ProfileWrite> writes)
    {
        platform::KeyWrites edit(std::move(writes));
        this->edit(section, edit);
    }

    void edit(const std::string& section, platform::SectionEdit& edit)
    {
        if (!platform::editProfileSection(section, edit, m_path))
            throw SettingsWriteError(m_path);
    }

    // Releases the file. Writes may be held until now, so a failure here is
    // a refused write like any other.
    void release()
    {
        m_released = true;
        if (!platform::flushProfile(m_path))
            throw SettingsWriteError(m_path);
    }

  private:
    std::string m_path;
    bool m_released = false;
};

} // namespace

SettingsWriteError::SettingsWriteError(const std::string& path)
    : std::runtime_error("Unable to write to " + path)
{}

TFrmSettings::TFrmSettings()
    : Left(101), Width(0), Top(101), Height(0), WindowState(FormWindowState::Normal)
{}

std::string TFrmSettings::sectionOf(const QWidget* widget) const
{
    return SectionPrefix + fromQt(widget->objectName());
}

void TFrmSettings::RestoreForm(QWidget* form)
{
    SectionName = sectionOf(form);
    LoadPlacement();
    placeForm(form, {Left, Top, Width, Height}, WindowState == FormWindowState::Maximized);
    Qt::WindowStates state =
        form->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (WindowState == FormWindowState::Maximized)
        state |= Qt::WindowMaximized;
    form->setWindowState(state);
}

void TFrmSettings::StoreForm(QWidget* form)
{
    SectionName = sectionOf(form);
    // While a window manager is still framing the window, Qt may hold a frame
    // that does not even enclose it (seen as 1 x 1); the window's own
    // geometry is then the better record.
    QRect frame = form->frameGeometry();
    if (!frame.contains(form->geometry()))
        frame = form->geometry();
    Top = frame.y();
    Left = frame.x();
    Height = frame.height();
    Width = frame.width();
    const Qt::WindowStates state = form->windowState();
    WindowState = state.testFlag(Qt::WindowMinimized)   ? FormWindowState::Minimized
                  : state.testFlag(Qt::WindowMaximized) ? FormWindowState::Maximized
                                                        : FormWindowState::Normal;
    SavePlacement();
}

void TFrmSettings::LoadPlacement()
{
    SettingsFile file;
    Top = file.readInteger(SectionName, settingsKey::Top, -1);
    Left = file.readInteger(SectionName, settingsKey::Left, -1);
    Width = file.readInteger(SectionName, settingsKey::Width, -1);
    Height = file.readInteger(SectionName, settingsKey::Height, -1);
    WindowState = file.readBoolean(SectionName, settingsKey::InitMax, false)
                      ? FormWindowState::Maximized
                      : FormWindowState::Normal;
    file.release();
}

void TFrmSettings::SavePlacement()
{
    SettingsFile file;
    const std::string top = formatProfileInteger(Top);
    const std::string left = formatProfileInteger(Left);
    const std::string width = formatProfileInteger(Width);
    const std::string height = formatProfileInteger(Height);
    const std::string initMax = formatProfileBoolean(WindowState == FormWindowState::Maximized);
    file.write(SectionName, {{settingsKey::Top, top},
                             {settingsKey::Left, left},
                             {settingsKey::Width, width},
                             {settingsKey::Height, height},
                             {settingsKey::InitMax, initMax}});
    file.release();
}

void TFrmSettings::LoadListBox(ListBox* list)
{
    SettingsFile file;
    // One pass over the section's keys, "Number" among them, rather than one
    // read per index: a hand-edited "Number" of two thousand million must not
    // stall, and the file is read once.
    const platform::ProfileSection section = file.readSection(sectionOf(list));
    list->addBytes(listSectionItems(section.entries()));
    file.release();
}

void TFrmSettings::SaveListBox(ListBox* list)
{
    SettingsFile file;
    const std::string section = sectionOf(list);
    const int count = list->count();
    std::vector<std::string_view> items;
    items.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row)
        items.push_back(list->bytes(row));
    // Written against what the section holds, in one pass over the file: a
    // list saved unchanged, as at most exits, leaves the file as it was.
    ListSectionSave save(items);
    file.edit(section, save);
    file.release();
}

void TFrmSettings::LoadEdit(QLineEdit* edit)
{
    SettingsFile file;
    setEditBytes(edit, file.read(sectionOf(edit), settingsKey::Text));
    file.release();
}

void TFrmSettings::SaveEdit(QLineEdit* edit)
{
    SettingsFile file;
    const std::string text = editBytes(edit);
    file.write(sectionOf(edit), {{settingsKey::Text, text}});
    file.release();
}

void TFrmSettings::LoadCheckBox(QCheckBox* box)
{
    SettingsFile file;
    box->setChecked(file.readBoolean(sectionOf(box), settingsKey::Checked, false));
    file.release();
}

void TFrmSettings::SaveCheckBox(QCheckBox* box)
{
    SettingsFile file;
    const std::string checked = formatProfileBoolean(box->isChecked());
    file.write(sectionOf(box), {{settingsKey::Checked, checked}});
    file.release();
}

} // namespace tarvik::gui
