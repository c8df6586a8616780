#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <zlib.h>

// Writes gzip tar archives member by member, with names, types and owners the real tar would
// not put in an archive of its own (".." members, absolute names, links out, device nodes).
namespace kv::test {

struct TarMember
{
    std::string name;
    char type = '0'; // '0' file, '2' symlink, '1' hard link, '3' char, '4' block, '5' dir, '6' FIFO
    std::string data;
    std::string linkName;
    unsigned deviceMajor = 0;
    unsigned deviceMinor = 0;
};

inline TarMember File(std::string name, std::string data = "")
{
    return {std::move(name), '0', std::move(data), "", 0, 0};
}
// type '2' a symbolic link, '1' a hard link
inline TarMember Link(std::string name, char type, std::string target)
{
    return {std::move(name), type, "", std::move(target), 0, 0};
}
// type '3' a character device, '4' a block device, '6' a FIFO
inline TarMember Special(std::string name, char type, unsigned major = 0, unsigned minor = 0)
{
    return {std::move(name), type, "", "", major, minor};
}

class TarWriter
{
public:
    void add(const TarMember &member)
    {
        std::string header(512, '\0');
        put(header, 0, 100, member.name);
        putOctal(header, 100, 8, member.type == '5' ? 0755 : 0644);
        putOctal(header, 108, 8, kOwner);
        putOctal(header, 116, 8, kOwner);
        putOctal(header, 124, 12, member.data.size());
        putOctal(header, 136, 12, 0);
        header[156] = member.type;
        put(header, 157, 100, member.linkName);
        put(header, 257, 8,
            std::string("ustar\0"
                        "00",
                        8));
        put(header, 265, 32, "intruder");
        put(header, 297, 32, "intruder");
        putOctal(header, 329, 8, member.deviceMajor);
        putOctal(header, 337, 8, member.deviceMinor);
        header.replace(148, 8, 8, ' ');
        unsigned sum = 0;
        for (const char c : header) {
            sum += static_cast<unsigned char>(c);
        }
        putOctal(header, 148, 7, sum);
        bytes_ += header;
        bytes_ += member.data;
        bytes_.append((512 - member.data.size() % 512) % 512, '\0');
    }

    // Ends the archive and writes it gzip-compressed to path; false when that failed.
    bool writeGzip(const std::filesystem::path &path)
    {
        std::ofstream(path, std::ios::binary) << gzipped(true);
        return std::filesystem::file_size(path) > 0;
    }

    // The archive gzip-compressed; with ended false, without its closing blocks (a tar cut short
    // that is still whole gzip).
    std::string gzipped(bool ended = true) const
    {
        std::string tar = bytes_;
        if (ended) {
            tar.append(1024, '\0');
        }
        z_stream stream{};
        // 16 + 15: a gzip header and trailer around the largest window.
        deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
        std::string packed(deflateBound(&stream, uLong(tar.size())), '\0');
        stream.next_in = reinterpret_cast<Bytef *>(tar.data());
        stream.avail_in = uInt(tar.size());
        stream.next_out = reinterpret_cast<Bytef *>(packed.data());
        stream.avail_out = uInt(packed.size());
        deflate(&stream, Z_FINISH);
        packed.resize(stream.total_out);
        deflateEnd(&stream);
        return packed;
    }

    // The owner every member is recorded with: nobody on the test machine.
    static constexpr unsigned kOwner = 4242;

private:
    static void put(std::string &header, std::size_t at, std::size_t width, const std::string &s)
    {
        header.replace(at, std::min(width, s.size()), s, 0, std::min(width, s.size()));
    }
    static void putOctal(std::string &header, std::size_t at, std::size_t width,
                         unsigned long long value)
    {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%0*llo", int(width - 1), value);
        put(header, at, width - 1, digits);
    }

    std::string bytes_;
};

} // namespace kv::test
