// Every exchange with the user: warnings, information, yes/no questions, the file chooser,
// and the main window's title. The engine and the runs call these without knowing who
// answers: the Windows message boxes, the console, or a script.
#pragma once

#include "engine/base/ascii.h"
#include "engine/base/run_stop.h"

#include <algorithm>
#include <string>
#include <string_view>

// Who owns a prompt: the main window, or nobody (the prompt stands on its own).
enum class Owner { none, main };

// A chooser's filter list: one display name and its pattern.
struct FileFilter {
    const char* display;
    const char* pattern;
};
inline constexpr FileFilter filterall{"all files", "*.*"};
inline constexpr FileFilter filterOBJ{"OBJ mesh geometry files", "*.OBJ"};
// For the library rules: meshes plain and compressed, the images, morph files and scripts
// (with the poses that run them) that Poser loads.
inline constexpr FileFilter filterOBJZ{"OBJ mesh geometry files", "*.OBJ;*.OBZ"};
inline constexpr FileFilter filterImages{"image files",
                                         "*.JPG;*.JPEG;*.PNG;*.TIF;*.TIFF;*.BMP;*.TGA;*.GIF;*.PSD;*.HDR;*.EXR"};
inline constexpr FileFilter filterPMD{"morph files", "*.PMD"};
inline constexpr FileFilter filterScripts{"Poser scripts and poses",
                                          "*.PZ2;*.P2Z;*.PY;*.PYC;*.FC2;*.FCZ;*.HD2;*.HDZ;*.LT2;*.LTZ;*.CM2;*.CMZ;*.MC6;*.MCZ"};
inline constexpr FileFilter filterCR2etc{"files to be checked", "*.CR2;*.PP2;*.PZ3"};

// True when `name` ends in one of the filter's extensions ("*.JPG;*.PNG"), letter case ignored.
inline bool fits_filter(std::string_view name, const FileFilter& filter)
{
    std::string_view patterns = filter.pattern;
    while (!patterns.empty()) {
        const std::size_t end = std::min(patterns.find(';'), patterns.size());
        const std::string_view pattern = patterns.substr(0, end);
        if (pattern == "*.*" || (pattern.size() > 1 && ends_with_ignoring_case(name, pattern.substr(1)))) {
            return true;
        }
        patterns.remove_prefix(std::min(end + 1, patterns.size()));
    }
    return false;
}

enum class ChooserMode { open, save };

class Prompts {
public:
    virtual ~Prompts() = default;

    void warning(Owner owner, std::string_view body, std::string_view caption)
    {
        ++m_prompts_shown;
        show_warning(owner, body, caption);
    }
    void information(Owner owner, std::string_view body, std::string_view caption)
    {
        ++m_prompts_shown;
        show_information(owner, body, caption);
    }
    // True for Yes. Once the run is asked to stop, No without asking.
    bool question(Owner owner, std::string_view body, std::string_view caption)
    {
        if (run_stop::requested()) {
            return false;
        }
        ++m_prompts_shown;
        return ask_question(owner, body, caption);
    }
    // Offers `file` as the initial name in `initdir`. Returns 1 with the chosen full path in
    // `file`, or 0 on cancel (or a failed dialog) with `file` unchanged. In open mode the
    // chosen file exists; save mode lets the user type any name and writes nothing. Once the
    // run is asked to stop, a cancel without asking.
    int GetFileName(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write)
    {
        if (run_stop::requested()) {
            return 0;
        }
        ++m_prompts_shown;
        return choose_file(owner, file, initdir, t, f, write);
    }
    // Shows `text` as the main window's title (the file being checked).
    void SetTitle(std::string_view text) { set_title(text); }
    // True when every question is answered without being shown or kept anywhere: nothing the
    // user is yet to see need come before one.
    virtual bool answers_questions_unseen() const { return false; }

    // How many prompts have been shown. While a prompt is open the user can change the
    // disk, so what was learnt about it before may be reused only while this is unchanged.
    unsigned long long prompts_shown() const { return m_prompts_shown; }

protected:
    virtual void show_warning(Owner owner, std::string_view body, std::string_view caption) = 0;
    virtual void show_information(Owner owner, std::string_view body, std::string_view caption) = 0;
    virtual bool ask_question(Owner owner, std::string_view body, std::string_view caption) = 0;
    virtual int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                            const FileFilter& f, ChooserMode write) = 0;
    virtual void set_title(std::string_view text) = 0;

private:
    unsigned long long m_prompts_shown = 0;
};
