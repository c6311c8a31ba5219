// The warnings of a run that nobody watches: prompts answered from a file or from standard
// input that is no terminal show them nowhere. Each one is also printed on standard error,
// caption and body on one line as on a terminal, and counted, so that the exit status can
// tell a script that something went wrong.
#pragma once

#include "app/prompts-console.h"
#include "app/prompts-scripted.h"

#include <cstdio>

class UnattendedWarnings : public ForwardingPrompts {
public:
    UnattendedWarnings(Prompts& inner, std::FILE* err) : ForwardingPrompts(inner), m_printed(nullptr, err) {}

    unsigned long long warnings() const { return m_warnings; }

protected:
    void show_warning(Owner owner, std::string_view body, std::string_view caption) override;

private:
    ConsolePrompts m_printed;  // shows the warnings only: it is never asked anything
    unsigned long long m_warnings = 0;
};
