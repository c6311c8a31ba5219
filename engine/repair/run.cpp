#include "engine/repair/run.h"

#include "engine/base/log_text.h"
#include "engine/base/text_encoding.h"
#include "engine/repair/rules.h"

Run::Run(fsys::FileSystem& fs) : cache(fs), m_fs(fs), m_rules(std::make_unique<DefaultRules>()) {}

Run::~Run() = default;

void Run::use_rules(std::unique_ptr<Rules> rules)
{
    m_rules = rules ? std::move(rules) : std::make_unique<DefaultRules>();
}

void Run::start()
{
    tally = RunTally{};
    cache.clear();
    m_rules->start(*this);
}

void Run::write_log(std::string_view text)
{
    if (log_capture != nullptr) {
        log_capture->append(text);
        return;
    }
    // A name from an old Poser file may be in the ANSI code page: the log is UTF-8 throughout.
    if (LOG) {
        LOG->write(utf8_text(text));
        ++m_log_writes;
        if (!text.empty() && text.back() == '\n') {
            LOG->flush();
        }
    }
}

void Run::note(const std::string& line)
{
    write_log(log_text(line) + "\n");
    if (tell) {
        tell(line);
    }
}

void Run::create_repllist()
{
    if (!repllist) {
        repllist = std::make_unique<ReplList>();
        nL = 0;
    }
}

void Run::release_repllist()
{
    repllist.reset();
    nL = 0;
}

const std::string* Run::remembered_replacement(const std::string& oldobj) const
{
    for (int l = 0; repllist && l < nL; ++l) {
        if ((*repllist)[l].old_path == oldobj) {
            return &(*repllist)[l].new_path;
        }
    }
    return nullptr;
}

void Run::remember_replacement(const std::string& oldobj, const std::string& objfile)
{
    if (repllist && nL < k_repl_capacity) {
        (*repllist)[nL].old_path = oldobj;
        (*repllist)[nL].new_path = objfile;
        ++nL;
    }
}
