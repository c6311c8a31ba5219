// Check of one Poser file, and its repair in place when a pointer is broken or not in
// blank-colon notation: the corrected text keeps the file's name, the old text moves to
// the first free backup name.
#pragma once

#include "engine/base/prompts.h"
#include "engine/fsys/fsys.h"
#include "engine/fsys/textio.h"
#include "engine/repair/rules.h"

#include <memory>
#include <string>
#include <vector>

class Run;

// The name under which the old text waits while the two files exchange names.
inline constexpr const char* k_swap_file_name = "MIAOW_EE_EE_SAID_THE_CAT.txt";

// Checks and, when needed, repairs `orig` by the repair's own rules. Everything the user
// learns comes through the window title, the run log and the prompts. `listed`: what a folder
// listing told of it.
void readposerfile(Run& run, const std::string& orig, Prompts& wn, fsys::Listed listed = fsys::Listed::unknown);

// The repairs of several files by the repair's own rules: each file is checked and its
// corrected copy written in turn, and the copies waiting are flushed to the disk together
// before each file, in order, is given its new text. The user sees everything in the order
// one file at a time shows it: a prompt first finishes the files waiting (a question answered
// unseen need not), the titles of the files checked meanwhile follow the warnings of the files
// before them, and each file's log lines are written when it is done.
class RepairBatch : public FolderRepairs {
public:
    RepairBatch(Run& run, Prompts& wn);
    ~RepairBatch() override;
    RepairBatch(const RepairBatch&) = delete;
    RepairBatch& operator=(const RepairBatch&) = delete;

    // Checks `orig` and, when it needs a repair, writes its corrected copy, which then waits.
    void add(const std::string& orig, fsys::Listed listed) override;
    Prompts& prompts() override;
    // Flushes the copies waiting together, then gives each its file's name, in order.
    void finish();

private:
    struct Waiting;
    class FinishingPrompts;
    // Leaves the creation and writing of `w`'s copy, with `text`, to a flush thread.
    void write_in_flush_thread(Waiting& w, std::string text);
    // Shows the title of the file in hand, after what the files waiting will show.
    void show_title(std::string_view text);

    Run& m_run;
    Prompts& m_wn;
    std::unique_ptr<FinishingPrompts> m_prompts;
    std::vector<std::unique_ptr<Waiting>> m_waiting;
    std::size_t m_titles_waiting = 0;
    // Read and write each file in turn, keeping their buffers from one to the next.
    TextReader m_reader;
    TextWriter m_writer;
};

// Gives `orig` the corrected text waiting under `cor`, and `cor` the old text: in one step
// where the system can, else through the swap file beside `orig`; the corrected file first
// gets the old one's protection. When a step
// fails, the steps done are undone so that `orig` keeps its old text, the corrected copy is
// deleted, and the user is warned; then false. Renames never replace an existing file.
bool give_corrected_text(fsys::FileSystem& fs, const std::string& orig, const std::string& cor, Prompts& wn);
