#include "PersistedControls.h"

#include "FrmSettings.h"
#include "ListBox.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QWidget>
#include <stdexcept>
#include <string>

namespace tarvik::gui {
namespace {

template <class Control> Control* control(QWidget* form, const char* name)
{
    const QString objectName = QString::fromLatin1(name);
    Control* found = form->objectName() == objectName ? qobject_cast<Control*>(form)
                                                      : form->findChild<Control*>(objectName);
    if (!found)
        throw std::logic_error(std::string("No persisted control named ") + name);
    return found;
}

enum class Direction
{
    Load,
    Save
};

void walk(TFrmSettings& store, QWidget* form, Direction direction)
{
    const bool load = direction == Direction::Load;
    for (const PersistedControl& row : kPersistedControls) {
        switch (row.kind) {
        case PersistedKind::Form: {
            QWidget* widget = control<QWidget>(form, row.section);
            load ? store.RestoreForm(widget) : store.StoreForm(widget);
            break;
        }
        case PersistedKind::ListBox: {
            ListBox* list = control<ListBox>(form, row.section);
            load ? store.LoadListBox(list) : store.SaveListBox(list);
            break;
        }
        case PersistedKind::Edit: {
            QLineEdit* edit = control<QLineEdit>(form, row.section);
            load ? store.LoadEdit(edit) : store.SaveEdit(edit);
            break;
        }
        case PersistedKind::CheckBox: {
            QCheckBox* box = control<QCheckBox>(form, row.section);
            load ? store.LoadCheckBox(box) : store.SaveCheckBox(box);
            break;
        }
        }
    }
}

} // namespace

void loadPersistedControls(TFrmSettings& store, QWidget* form)
{
    walk(store, form, Direction::Load);
}

void savePersistedControls(TFrmSettings& store, QWidget* form)
{
    walk(store, form, Direction::Save);
}

} // namespace tarvik::gui
