#include "engine/fsys/fsys.h"

#include <windows.h>

#include <bcrypt.h>

namespace fsys {
namespace {

struct Cng {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
};

}  // namespace

Sha256::Sha256()
{
    Cng* cng = new Cng;
    m_state = cng;
    m_ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&cng->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
           BCRYPT_SUCCESS(BCryptCreateHash(cng->algorithm, &cng->hash, nullptr, 0, nullptr, 0, 0));
}

Sha256::~Sha256()
{
    Cng* cng = static_cast<Cng*>(m_state);
    if (cng->hash != nullptr) {
        BCryptDestroyHash(cng->hash);
    }
    if (cng->algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(cng->algorithm, 0);
    }
    delete cng;
}

bool Sha256::update(const char* data, std::size_t size)
{
    Cng* cng = static_cast<Cng*>(m_state);
    // CNG counts in 32 bits: a larger piece goes in slices.
    while (m_ok && size > 0) {
        const ULONG slice = size > 0x40000000u ? 0x40000000u : static_cast<ULONG>(size);
        m_ok = BCRYPT_SUCCESS(BCryptHashData(cng->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data)), slice, 0));
        data += slice;
        size -= slice;
    }
    return m_ok;
}

std::string Sha256::finish()
{
    unsigned char sum[32];
    m_ok = m_ok && BCRYPT_SUCCESS(BCryptFinishHash(static_cast<Cng*>(m_state)->hash, sum, sizeof sum, 0));
    return m_ok ? hex_digits(sum, sizeof sum) : std::string();
}

}  // namespace fsys
