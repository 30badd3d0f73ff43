#include "codecs/fileformat/fileops.h"

#include "orvsys/ufopen.h"

#include <sys/types.h>

namespace {

int stdSeek(FILE *handle, s64 offset, int whence) {
    return fseeko(handle, static_cast<off_t>(offset), whence) == 0 ? 0 : -1;
}

s64 stdTell(FILE *handle) {
    return static_cast<s64>(ftello(handle));
}

size_t stdRead(void *buffer, size_t itemSize, size_t count, FILE *handle) {
    return std::fread(buffer, itemSize, count, handle);
}

size_t stdWrite(const void *buffer, size_t itemSize, size_t count, FILE *handle) {
    return std::fwrite(buffer, itemSize, count, handle);
}

int stdClose(FILE *handle) {
    return std::fclose(handle);
}

} // namespace

// Constant-initialised, so every reader sees the standard functions before any decoder exists.
file_callback fileCallback = {ufopen, stdRead, stdWrite, stdSeek, stdTell, stdClose};

u32 read_callback(FILE *handle, char *buffer, u32 length) {
    return static_cast<u32>(fileCallback.read(buffer, 1, length, handle));
}

int seek_callback(FILE *handle, u64 position) {
    if (position > static_cast<u64>(INT64_MAX)) return -1;
    return fileCallback.seek(handle, static_cast<s64>(position), SEEK_SET);
}

int skip_id3tagv2(FILE *handle) {
    ID3v2Tag tag{};
    static_assert(sizeof tag == 10);
    const size_t got = fileCallback.read(&tag, 1, sizeof tag, handle);
    int tagLength = 0;
    if (got == sizeof tag && tag.id[0] == 'I' && tag.id[1] == 'D' && tag.id[2] == '3') {
        for (u8 byte : tag.size) tagLength = (tagLength << 7) | (byte & 0x7F);
        tagLength += static_cast<int>(sizeof tag);
    }
    fileCallback.seek(handle, tagLength, SEEK_SET);
    return tagLength;
}

namespace orv {

s64 fileLength(FILE *handle) {
    const s64 here = fileCallback.tell(handle);
    if (here < 0 || fileCallback.seek(handle, 0, SEEK_END) != 0) return -1;
    const s64 length = fileCallback.tell(handle);
    if (fileCallback.seek(handle, here, SEEK_SET) != 0) return -1;
    return length;
}

bool readExactly(FILE *handle, void *buffer, size_t count) {
    return fileCallback.read(buffer, 1, count, handle) == count;
}

} // namespace orv
