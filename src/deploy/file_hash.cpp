// The file is read in blocks into one hash object; the provider is opened for each file, since
// a run hashes a few dozen files at most. BCryptCreateHash allocates its own object (Windows 7
// and later), so nothing here depends on the provider's object size.
#include "deploy/file_hash.h"

#include <windows.h>
#include <bcrypt.h>

#include <strsafe.h>  // last: makes the unbounded string calls compile errors

static const DWORD kHashBlock = 64 * 1024;

static bool HashOpenFile(HANDLE file, BCRYPT_HASH_HANDLE hash, unsigned char* digest)
{
    static unsigned char block[kHashBlock];
    DWORD read;

    for (;;) {
        if (!ReadFile(file, block, kHashBlock, &read, NULL))
            return false;
        if (read == 0)
            break;
        if (!BCRYPT_SUCCESS(BCryptHashData(hash, block, read, 0)))
            return false;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, (ULONG)kSha256Size, 0));
}

static void DigestToText(const unsigned char* digest, char* text)
{
    static const char kDigits[] = "0123456789abcdef";

    for (size_t i = 0; i < kSha256Size; i++) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 15];
    }
    text[2 * kSha256Size] = '\0';
}

bool HashFile(const char* path, char* text, size_t capacity)
{
    BCRYPT_ALG_HANDLE algorithm = NULL;
    BCRYPT_HASH_HANDLE hash = NULL;
    unsigned char digest[kSha256Size];
    HANDLE file;
    bool hashed = false;

    if (capacity == 0)
        return false;
    text[0] = '\0';
    if (capacity < kSha256TextSize)
        return false;
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       NULL, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, NULL, 0)) ||
        !BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, NULL, 0, NULL, 0, 0)))
        goto done;
    hashed = HashOpenFile(file, hash, digest);
    if (hashed)
        DigestToText(digest, text);
done:
    if (hash != NULL)
        BCryptDestroyHash(hash);
    if (algorithm != NULL)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    CloseHandle(file);
    return hashed;
}
