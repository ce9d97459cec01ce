// The commands that edit the lists, choose the backup folder, write the notes
// and show the About dialog.

#include "BackUpMain.h"

#include <stdexcept>

namespace tarvik::gui {

void TBackUpForm::AddDirectoryActionExecute()
{
    throw std::runtime_error("Add Directory is not available yet");
}

void TBackUpForm::RemoveDirectoryActionExecute()
{
    throw std::runtime_error("Remove Directory is not available yet");
}

void TBackUpForm::AddFileTypeActionExecute()
{
    throw std::runtime_error("Add File Type is not available yet");
}

void TBackUpForm::RemoveFileTypeActionExecute()
{
    throw std::runtime_error("Remove File Type is not available yet");
}

void TBackUpForm::SelectBUDirButtonClick()
{
    throw std::runtime_error("Choosing the backup directory is not available yet");
}

void TBackUpForm::SpeedButton2Click()
{
    SaveNotes();
}

void TBackUpForm::SaveNotes()
{
    throw std::runtime_error("Create Note is not available yet");
}

void TBackUpForm::AboutActionExecute()
{
    throw std::runtime_error("About is not available yet");
}

} // namespace tarvik::gui
