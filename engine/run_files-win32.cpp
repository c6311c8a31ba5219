#include "engine/run_files.h"

#include "engine/text_encoding.h"

#include <windows.h>

#include <bcrypt.h>

namespace fsys {

bool make_folder(const std::string& path)
{
    return is_nameable(path) && CreateDirectoryW(to_wide(path).c_str(), nullptr) != 0;
}

bool remove_folder(const std::string& path)
{
    return is_nameable(path) && !fault_injected(Op::remove, path) && RemoveDirectoryW(to_wide(path).c_str()) != 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    return is_nameable(from) && is_nameable(to) && !fault_injected(Op::rename, from) &&
           MoveFileExW(to_wide(from).c_str(), to_wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool seek_to(RawFile& f, long long offset)
{
    LARGE_INTEGER at{};
    at.QuadPart = offset;
    return SetFilePointerEx(reinterpret_cast<HANDLE>(f.handle), at, nullptr, FILE_BEGIN) != 0;
}

bool digest_file(const std::string& path, FileDigest& digest)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
              BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    static thread_local char block[1 << 16];
    long long n = 0;
    digest.size = 0;
    while (ok && (n = read_some(f, block, sizeof block)) > 0) {
        ok = BCRYPT_SUCCESS(BCryptHashData(hash, reinterpret_cast<PUCHAR>(block), static_cast<ULONG>(n), 0));
        digest.size += n;
    }
    unsigned char sum[32];
    ok = ok && n == 0 && BCRYPT_SUCCESS(BCryptFinishHash(hash, sum, sizeof sum, 0));
    if (hash != nullptr) {
        BCryptDestroyHash(hash);
    }
    if (algorithm != nullptr) {
        BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    close_file(f);
    digest.sha256 = ok ? hex_digits(sum, sizeof sum) : std::string();
    return ok;
}

}  // namespace fsys
