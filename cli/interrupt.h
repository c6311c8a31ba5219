// Interrupts of the console program: Ctrl-C, a closed terminal or console window, a request
// to stop. The first one asks the run to stop before its next file, and a prompt waiting for
// an answer answers as if cancelled; the program then ends in its own flow with the file in
// hand either finished or untouched. A second one, while the program is ending, leaves at
// once, deleting a corrected copy not yet finished, except while a Poser file is being given
// its new text: then it leaves right after.
#pragma once

#include "app/prompts-scripted.h"

#include <string>

namespace interrupt {

// Catches the interrupts from now on. One that was ignored when the program started (nohup,
// a background job) stays ignored.
void install();

// The exit status that the first interrupt asks for (128 + its signal number), or 0.
int status();

// Once the program has cleaned up after the first interrupt, ends it as that interrupt asks:
// on POSIX by the signal itself with its default action, so that a shell running the program
// in a loop stops as it does for other programs. Returns when no interrupt came, and on
// Windows, where the exit status tells.
void end_as_interrupted();

// 0 when no interrupt came. Otherwise tells the user on standard error that nothing more was
// changed and where the run log is (`logname`, empty when no run began), and returns the
// exit status.
int finish(const std::string& logname);

// Marks a prompt that waits for the user's answer, so that an interrupt can cut the wait
// short where the waiting read does not end by itself.
class AnswerWait {
public:
    AnswerWait();
    ~AnswerWait();
    AnswerWait(const AnswerWait&) = delete;
    AnswerWait& operator=(const AnswerWait&) = delete;
};

}  // namespace interrupt

// Wraps the prompts that read the user's answers: each question and chooser waits in an
// `interrupt::AnswerWait`.
class InterruptiblePrompts : public ForwardingPrompts {
public:
    using ForwardingPrompts::ForwardingPrompts;

protected:
    bool ask_question(Owner owner, std::string_view body, std::string_view caption) override;
    int choose_file(Owner owner, std::string& file, std::string_view initdir, std::string_view t, const FileFilter& f,
                    ChooserMode write) override;
};
