// The Windows folder picker: the common item dialog in folder mode, which picks a folder as
// such, even one that holds only folders, and never speaks of replacing a file.
#include "app/folder_picker.h"

#include <windows.h>
#include <shobjidl.h>

namespace {

std::wstring wide(std::string_view text)
{
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// The path in the ANSI code page the file layer speaks; false when a letter has no place in it.
bool narrow(const wchar_t* text, std::string& out)
{
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy) {
        return false;
    }
    out.assign(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out.data(), n, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(n - 1));
    return true;
}

void start_in(IFileOpenDialog* dialog, std::string_view initdir)
{
    IShellItem* item = nullptr;
    if (!initdir.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(wide(initdir).c_str(), nullptr, IID_PPV_ARGS(&item)))) {
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
        chosen = narrow(path, folder) ? 1 : 0;
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
        dialog->SetTitle(wide(title).c_str());
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
