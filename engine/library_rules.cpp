#include "engine/library_rules.h"

#include <memory>

namespace {

std::unique_ptr<LibraryRules>& rules_in_force()
{
    static std::unique_ptr<LibraryRules> rules;
    return rules;
}

}  // namespace

const NameIndex& LibraryRules::name_index()
{
    if (!m_index.built()) {
        m_index.build(m_options.roots, {});
    }
    return m_index;
}

std::string_view LibraryRules::how_chosen(const std::string& shown) const
{
    const auto known = m_how.find(shown);
    return known == m_how.end() ? std::string_view("picked") : known->second;
}

void LibraryRules::start_run()
{
    m_index = NameIndex();
    m_left.clear();
    m_how.clear();
    m_resolver.forget();
}

LibraryRules* library_rules()
{
    return rules_in_force().get();
}

void use_library_rules(LibraryOptions options)
{
    rules_in_force() = std::make_unique<LibraryRules>(std::move(options));
}

void use_default_rules()
{
    rules_in_force().reset();
}

void start_library_run()
{
    if (library_rules() != nullptr) {
        library_rules()->start_run();
    }
}

WalkPolicy walk_policy()
{
    return WalkPolicy{library_rules() != nullptr};
}
