// Prompts on a terminal: messages and questions on standard error, answers typed in.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"

#include <cstdio>

class ConsolePrompts : public Prompts {
public:
    // A path typed for a file to open must name a file on `fs`.
    ConsolePrompts(std::FILE* in, std::FILE* out, fsys::FileSystem& fs = fsys::disk()) : m_in(in), m_out(out), m_fs(fs) {}

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;
    void show_information(Owner owner, std::string_view body, std::string_view caption) override;
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
    void set_title(std::string_view text) override;

private:
    void end_status_line();
    void show_message(std::string_view body, std::string_view caption);
    // False at the end of input.
    bool read_answer(std::string& line);

    std::FILE* m_in;
    std::FILE* m_out;
    fsys::FileSystem& m_fs;
    bool m_status_shown = false;
    std::size_t m_status_chars = 0;
};

// True when `stream` is a terminal (a console on Windows).
bool is_terminal(std::FILE* stream);
