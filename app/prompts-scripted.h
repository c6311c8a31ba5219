// Prompts answered from a list of lines, for unattended runs and for tests.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Each question and chooser takes the next line: "yes" answers Yes, anything else No; for
// a chooser "cancel" cancels and any other line is the chosen path, which in open mode must
// name an existing file (the real dialog refuses anything else, so it counts as a cancel).
// Once the lines run out, questions answer No and choosers cancel. Warnings, information and
// titles take no line.
class ScriptedPrompts : public Prompts {
public:
    using NextLine = std::function<std::optional<std::string>()>;

    // A chosen path is looked for on `fs`.
    explicit ScriptedPrompts(std::vector<std::string> answers, fsys::FileSystem& fs = fsys::disk());
    explicit ScriptedPrompts(NextLine next_line, fsys::FileSystem& fs = fsys::disk());
    // Lines read from `in` one at a time as they are needed (a file, or standard input).
    static NextLine lines_from(std::FILE* in);

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;
    void show_information(Owner owner, std::string_view body, std::string_view caption) override;
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
    void set_title(std::string_view text) override;

private:
    NextLine m_next_line;
    fsys::FileSystem& m_fs;
};

// Passes every prompt on to another implementation; a base for those that change one thing.
class ForwardingPrompts : public Prompts {
public:
    explicit ForwardingPrompts(Prompts& inner) : m_inner(inner) {}
    bool answers_questions_unseen() const override { return m_inner.answers_questions_unseen(); }

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;
    void show_information(Owner owner, std::string_view body, std::string_view caption) override;
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
    void set_title(std::string_view text) override;

    Prompts& m_inner;
};

// Answers every question Yes without consulting the inner prompts, which then serve the
// choosers alone.
class YesToQuestions : public ForwardingPrompts {
public:
    using ForwardingPrompts::ForwardingPrompts;
    bool answers_questions_unseen() const override { return true; }

protected:
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
};
