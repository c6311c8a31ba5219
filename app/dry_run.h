// tarnwick-cli --dry-run: what an extended run would change, as a unified diff that `patch -p1`
// and `git apply` apply from the root, then the references it would leave as they are. The
// diff is written as it is made, in the memory of a few runs of lines whatever the document.
#pragma once

#include "engine/repair/library_rules.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class DryRunPrinter : public DryRunSink {
public:
    using Out = std::function<void(std::string_view text)>;
    // `terminal`: control characters are made visible, since nobody applies a diff read on a
    // terminal.
    DryRunPrinter(std::FILE* out, bool terminal) : m_out(out), m_terminal(terminal) {}
    // The diff goes to `out` instead of the stream, as it is.
    explicit DryRunPrinter(Out out) : m_out(nullptr), m_terminal(false), m_out_to(std::move(out)) {}
    // The roots that name each document from the root that holds it.
    void set_roots(std::vector<std::string> roots) { m_roots = std::move(roots); }
    // Each document's changes as one unified diff with three lines of context, headed
    // `--- a/NAME` and `+++ b/NAME` with NAME from its root.
    Shown would_change(const PlannedDocument& document) override;
    void would_leave(const std::string& document, std::string_view target) override;
    // The lines of the references left as they are, after every diff.
    const std::vector<std::string>& left() const { return m_left; }
    long long changed() const { return m_changed; }

private:
    std::string name_of_document(fsys::FileSystem& fs, const std::string& document) const;

    std::vector<std::string> m_roots;
    std::FILE* m_out;
    bool m_terminal;
    Out m_out_to;
    std::vector<std::string> m_left;
    long long m_changed = 0;
};
