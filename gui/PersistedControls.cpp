#include "gui/PersistedControls.h"

#include "gui/FrmSettings.h"
#include "gui/ListBox.h"

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

template <class Control>
void apply(TFrmSettings& store, QWidget* form, const char* section, Direction direction,
           void (TFrmSettings::*load)(Control*), void (TFrmSettings::*save)(Control*))
{
    Control* found = control<Control>(form, section);
    (store.*(direction == Direction::Load ? load : save))(found);
}

void walk(TFrmSettings& store, QWidget* form, Direction direction)
{
    using S = TFrmSettings;
    for (const PersistedControl& row : kPersistedControls) {
        switch (row.kind) {
        case PersistedKind::Form:
            apply<QWidget>(store, form, row.section, direction, &S::RestoreForm, &S::StoreForm);
            break;
        case PersistedKind::ListBox:
            apply<ListBox>(store, form, row.section, direction, &S::LoadListBox, &S::SaveListBox);
            break;
        case PersistedKind::Edit:
            apply<QLineEdit>(store, form, row.section, direction, &S::LoadEdit, &S::SaveEdit);
            break;
        case PersistedKind::CheckBox:
            apply<QCheckBox>(store, form, row.section, direction, &S::LoadCheckBox,
                             &S::SaveCheckBox);
            break;
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
