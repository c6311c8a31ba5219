#include "engine/library/library_memory.h"

void LibraryMemory::start(DiskCache& cache)
{
    m_resolver = std::make_unique<Resolver>(m_options.roots, cache);
    m_index = NameIndex();
    m_left.clear();
    m_how.clear();
}

Resolver& LibraryMemory::resolver(DiskCache& cache)
{
    if (!m_resolver) {
        start(cache);
    }
    return *m_resolver;
}

const NameIndex& LibraryMemory::name_index(fsys::FileSystem& fs)
{
    if (!m_index.built()) {
        m_index.build(fs, m_options.roots, {});
    }
    return m_index;
}

std::string_view LibraryMemory::how_chosen(const std::string& shown) const
{
    const auto known = m_how.find(shown);
    return known == m_how.end() ? std::string_view("picked") : known->second;
}
