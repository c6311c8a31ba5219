#include "app/prompts-scripted.h"

#include "engine/fsys/fsys.h"

#include <memory>
#include <utility>

ScriptedPrompts::ScriptedPrompts(std::vector<std::string> answers, fsys::FileSystem& fs) : m_fs(fs)
{
    auto queue = std::make_shared<std::deque<std::string>>(answers.begin(), answers.end());
    m_next_line = [queue]() -> std::optional<std::string> {
        if (queue->empty()) {
            return std::nullopt;
        }
        std::string line = std::move(queue->front());
        queue->pop_front();
        return line;
    };
}

ScriptedPrompts::ScriptedPrompts(NextLine next_line, fsys::FileSystem& fs) : m_next_line(std::move(next_line)), m_fs(fs) {}

ScriptedPrompts::NextLine ScriptedPrompts::lines_from(std::FILE* in)
{
    return [in]() -> std::optional<std::string> {
        std::string line;
        int c = 0;
        while ((c = std::fgetc(in)) != EOF && c != '\n') {
            line += static_cast<char>(c);
        }
        // At the end of the input each prompt gets an empty line, which answers No and
        // cancels, as the lines running out does.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();  // an answers file written on Windows
        }
        return line;
    };
}

void ScriptedPrompts::show_warning(Owner, std::string_view, std::string_view) {}

void ScriptedPrompts::show_information(Owner, std::string_view, std::string_view) {}

bool ScriptedPrompts::ask_question(Owner, std::string_view, std::string_view)
{
    std::optional<std::string> line = m_next_line();
    return line && *line == "yes";
}

int ScriptedPrompts::choose_file(Owner, std::string& file, std::string_view, std::string_view, const FileFilter&,
                                 ChooserMode write)
{
    std::optional<std::string> line = m_next_line();
    if (!line || *line == "cancel" || line->empty()) {
        return 0;
    }
    if (write == ChooserMode::open && (!m_fs.entry_exists(*line) || m_fs.is_folder(*line))) {
        return 0;
    }
    file = *line;
    return 1;
}

void ScriptedPrompts::set_title(std::string_view) {}

void ForwardingPrompts::show_warning(Owner owner, std::string_view body, std::string_view caption)
{
    m_inner.warning(owner, body, caption);
}

void ForwardingPrompts::show_information(Owner owner, std::string_view body, std::string_view caption)
{
    m_inner.information(owner, body, caption);
}

bool ForwardingPrompts::ask_question(Owner owner, std::string_view body, std::string_view caption)
{
    return m_inner.question(owner, body, caption);
}

int ForwardingPrompts::choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t,
                                   const FileFilter& f, ChooserMode write)
{
    return m_inner.GetFileName(owner, file, initdir, t, f, write);
}

void ForwardingPrompts::set_title(std::string_view text)
{
    m_inner.SetTitle(text);
}

bool YesToQuestions::ask_question(Owner, std::string_view, std::string_view)
{
    return true;
}
