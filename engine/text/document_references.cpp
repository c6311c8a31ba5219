#include "engine/text/document_references.h"

namespace {

// FNV-1a, 64 bits: cheap beside the reading, and enough to tell one document's references
// from another version's.
constexpr std::uint64_t k_fnv_basis = 0xcbf29ce484222325ull;
constexpr std::uint64_t k_fnv_prime = 0x100000001b3ull;

std::uint64_t mixed(std::uint64_t hash, std::string_view bytes)
{
    for (char c : bytes) {
        hash = (hash ^ static_cast<unsigned char>(c)) * k_fnv_prime;
    }
    return hash;
}

}  // namespace

void DocumentSeen::note(const FoundReference& f, std::uint64_t offset)
{
    char place[9];
    for (int k = 0; k < 8; ++k) {
        place[k] = static_cast<char>(offset >> (8 * k));
    }
    place[8] = static_cast<char>(f.ref.kind);
    digest = mixed(mixed(references == 0 ? k_fnv_basis : digest, std::string_view(place, sizeof place)), f.ref.target);
    ++references;
}
