// The Windows folder picker: the common item dialog in folder mode, which picks a folder as
// such, even one that holds only folders, and never speaks of replacing a file.
#include "app/folder_picker.h"

#include "engine/base/text_encoding.h"

#include <windows.h>
#include <shobjidl.h>

namespace {

void start_in(IFileOpenDialog* dialog, std::string_view initdir)
{
    IShellItem* item = nullptr;
    if (!initdir.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(to_wide(initdir).c_str(), nullptr, IID_PPV_ARGS(&item)))) {
        dialog->SetFolder(item);
        item->Release();
    }
}

int picked(IFileOpenDialog* dialog, HWND owner, std::string& folder)
{
    IShellItem* item = nullptr;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(&item))) {
        return 0;
    }
    wchar_t* path = nullptr;
    int chosen = 0;
    if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
        folder = to_utf8(path);
        chosen = 1;
        CoTaskMemFree(path);
    }
    item->Release();
    return chosen;
}

}  // namespace

int pick_folder_with_dialog(std::string& folder, std::string_view initdir, std::string_view title)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    IFileOpenDialog* dialog = nullptr;
    int chosen = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog->GetOptions(&options);
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
        dialog->SetTitle(to_wide(title).c_str());
        start_in(dialog, initdir);
        std::string result = folder;
        chosen = picked(dialog, GetActiveWindow(), result);
        if (chosen != 0) {
            folder = result;
        }
        dialog->Release();
    }
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return chosen;
}
