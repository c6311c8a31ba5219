// A record of everything the user saw, in order: one line per prompt or title change,
// fields separated by one tab, for example
//   warning<TAB>none<TAB>I can't open this file<TAB>/poser/a.cr2
//   open<TAB>main<TAB>TITLE<TAB>INITIAL-FILE<TAB>INITIAL-FOLDER<TAB>FILTER<TAB>ANSWER
// A tab, line feed or carriage return inside a field is written as \t, \n or \r.
#pragma once

#include "app/prompts-scripted.h"

#include <cstdio>
#include <string>
#include <vector>

class TranscriptPrompts : public ForwardingPrompts {
public:
    explicit TranscriptPrompts(Prompts& inner) : ForwardingPrompts(inner) {}
    ~TranscriptPrompts() override;

    // Also appends each line to `path` as it happens; false when it cannot be opened.
    bool append_to(const std::string& path);
    const std::vector<std::string>& lines() const { return m_lines; }
    // Each question is kept, in its place among the rest.
    bool answers_questions_unseen() const override { return false; }

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;
    void show_information(Owner owner, std::string_view body, std::string_view caption) override;
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
    void set_title(std::string_view text) override;

private:
    void record(std::initializer_list<std::string_view> fields);

    std::vector<std::string> m_lines;
    std::FILE* m_file = nullptr;
};
