#include "engine/run_files.h"

#include <cstdio>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fsys {

bool make_folder(const std::string& path)
{
    return is_nameable(path) && ::mkdir(path.c_str(), 0777) == 0;
}

bool remove_folder(const std::string& path)
{
    return is_nameable(path) && !fault_injected(Op::remove, path) && ::rmdir(path.c_str()) == 0;
}

bool rename_replace(const std::string& from, const std::string& to)
{
    return is_nameable(from) && is_nameable(to) && !fault_injected(Op::rename, from) &&
           std::rename(from.c_str(), to.c_str()) == 0;
}

bool seek_to(RawFile& f, long long offset)
{
    return ::lseek(static_cast<int>(f.handle), static_cast<off_t>(offset), SEEK_SET) == offset;
}

bool digest_file(const std::string& path, FileDigest& digest)
{
    RawFile f;
    if (!open_for_reading(path, f)) {
        return false;
    }
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx != nullptr && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
    static thread_local char block[1 << 16];
    long long n = 0;
    digest.size = 0;
    while (ok && (n = read_some(f, block, sizeof block)) > 0) {
        ok = EVP_DigestUpdate(ctx, block, static_cast<std::size_t>(n)) == 1;
        digest.size += n;
    }
    unsigned char sum[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && n == 0 && EVP_DigestFinal_ex(ctx, sum, &length) == 1;
    EVP_MD_CTX_free(ctx);
    close_file(f);
    digest.sha256 = ok ? hex_digits(sum, length) : std::string();
    return ok;
}

}  // namespace fsys
