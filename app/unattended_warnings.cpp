#include "app/unattended_warnings.h"

void UnattendedWarnings::show_warning(Owner owner, std::string_view body, std::string_view caption)
{
    ++m_warnings;
    m_printed.warning(owner, body, caption);
    ForwardingPrompts::show_warning(owner, body, caption);
}
