#include "app/transcript.h"

#include "engine/base/text_encoding.h"
#include "engine/fsys/fsys.h"

namespace {

std::string_view owner_name(Owner owner)
{
    return owner == Owner::main ? "main" : "none";
}

void append_field(std::string& line, std::string_view field)
{
    // A name from an old Poser file may be in the ANSI code page: the record is UTF-8 throughout.
    for (char c : utf8_text(field)) {
        switch (c) {
        case '\t': line += "\\t"; break;
        case '\n': line += "\\n"; break;
        case '\r': line += "\\r"; break;
        default: line += c; break;
        }
    }
}

}  // namespace

TranscriptPrompts::~TranscriptPrompts()
{
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

bool TranscriptPrompts::append_to(const std::string& path)
{
    m_file = fsys::open_stream(path, "ab");
    return m_file != nullptr;
}

void TranscriptPrompts::record(std::initializer_list<std::string_view> fields)
{
    std::string line;
    for (std::string_view field : fields) {
        if (!line.empty()) {
            line += '\t';
        }
        append_field(line, field);
    }
    if (m_file != nullptr) {
        std::fprintf(m_file, "%s\n", line.c_str());
        std::fflush(m_file);
    }
    m_lines.push_back(std::move(line));
}

void TranscriptPrompts::show_warning(Owner owner, std::string_view body, std::string_view caption)
{
    record({"warning", owner_name(owner), caption, body});
    ForwardingPrompts::show_warning(owner, body, caption);
}

void TranscriptPrompts::show_information(Owner owner, std::string_view body, std::string_view caption)
{
    record({"information", owner_name(owner), caption, body});
    ForwardingPrompts::show_information(owner, body, caption);
}

bool TranscriptPrompts::ask_question(Owner owner, std::string_view body, std::string_view caption)
{
    bool yes = ForwardingPrompts::ask_question(owner, body, caption);
    record({"question", owner_name(owner), caption, body, yes ? "yes" : "no"});
    return yes;
}

int TranscriptPrompts::choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                                   const FileFilter& f, ChooserMode write)
{
    const std::string initial = file;
    int chosen = ForwardingPrompts::choose_file(owner, file, initdir, t, f, write);
    record({write == ChooserMode::open ? "open" : "save", owner_name(owner), t, initial, initdir, f.display,
            chosen != 0 ? std::string_view(file) : std::string_view("cancel")});
    return chosen;
}

void TranscriptPrompts::set_title(std::string_view text)
{
    record({"title", text});
    ForwardingPrompts::set_title(text);
}
