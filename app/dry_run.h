// tarnwick-cli --dry-run: what an extended run would change, as a unified diff that `patch -p1`
// applies from the root, then the references it would leave as they are.
#pragma once

#include "engine/repair/library_rules.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

// The lines of `before` and `after` (the same number of lines, each with its own line end)
// as one unified diff with three lines of context, headed `--- a/NAME` and `+++ b/NAME`; ""
// when they are the same.
std::string unified_diff(const std::string& name, std::string_view before, std::string_view after);

class DryRunPrinter : public DryRunSink {
public:
    // `terminal`: control characters are made visible, since nobody applies a diff read on a
    // terminal.
    DryRunPrinter(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}
    // The roots that name each document from the root that holds it.
    void set_roots(std::vector<std::string> roots) { m_roots = std::move(roots); }
    void would_change(const std::string& document, const std::string& before, const std::string& after) override;
    void would_leave(const std::string& document, std::string_view target) override;
    // The lines of the references left as they are, after every diff.
    const std::vector<std::string>& left() const { return m_left; }
    long long changed() const { return m_changed; }

private:
    std::string name_of_document(const std::string& document) const;

    std::vector<std::string> m_roots;
    std::FILE* m_out;
    bool m_terminal;
    std::vector<std::string> m_left;
    long long m_changed = 0;
};
