#include "structure/StructureWire.h"

#include "image/Wire.h"

namespace vantrel::structure {
namespace {

constexpr std::uint32_t kMagic = 0x56535452; // "VSTR"
// Deeper than any walk nests its parts; a forged reply cannot recurse without end.
constexpr int kMaxPartDepth = 64;

void PutPart(wire::Writer& writer, const Part& part) {
    writer.put(part.offset);
    writer.put(part.length);
    writer.putString(part.kind);
    writer.putString(part.name);
    writer.put(static_cast<std::uint8_t>(part.check));
    writer.put<std::uint64_t>(part.children.size());
    for (const Part& child : part.children) {
        PutPart(writer, child);
    }
}

// Every part lies inside the file; the smallest encoding of a part is 33 bytes.
bool GetPart(wire::Reader& reader, Part& part, std::uint64_t size, int depth) {
    part.offset = reader.get<std::uint64_t>();
    part.length = reader.get<std::uint64_t>();
    part.kind = reader.getString();
    part.name = reader.getString();
    const auto check = reader.get<std::uint8_t>();
    part.check = static_cast<Check>(check);
    const std::size_t children = reader.getCount(33);
    if (!reader.ok() || check > static_cast<std::uint8_t>(Check::Bad) || part.offset > size ||
        part.length > size - part.offset || (children > 0 && depth >= kMaxPartDepth)) {
        return false;
    }
    part.children.resize(children);
    for (Part& child : part.children) {
        if (!GetPart(reader, child, size, depth + 1)) {
            return false;
        }
    }
    return true;
}

bool InFile(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

} // namespace

std::vector<std::uint8_t> EncodeStructure(const FileStructure& s) {
    std::vector<std::uint8_t> out;
    wire::Writer writer(out);
    writer.put(kMagic);
    writer.putString(s.format);
    writer.put(s.size);
    writer.put(s.end);
    writer.put<std::uint64_t>(s.parts.size());
    for (const Part& part : s.parts) {
        PutPart(writer, part);
    }
    writer.put<std::uint64_t>(s.anomalies.size());
    for (const Anomaly& a : s.anomalies) {
        writer.put(static_cast<std::uint8_t>(a.kind));
        writer.put(a.offset);
        writer.put(a.length);
        writer.putString(a.reason);
    }
    writer.put<std::uint64_t>(s.texts.size());
    for (const Text& t : s.texts) {
        writer.putString(t.source);
        writer.putString(t.key);
        writer.putString(t.value);
        writer.put(t.offset);
    }
    writer.put<std::uint64_t>(s.carved.size());
    for (const Carved& c : s.carved) {
        writer.put(c.offset);
        writer.put(c.length);
        writer.putString(c.type);
        writer.putString(c.what);
        writer.put<std::uint64_t>(c.from);
        writer.putString(c.sha256);
        writer.putArray(std::span<const std::uint8_t>(c.bytes));
    }
    writer.put<std::uint8_t>(s.info.ihdrTrueSize ? 1 : 0);
    if (s.info.ihdrTrueSize) {
        writer.put(s.info.ihdrTrueSize->first);
        writer.put(s.info.ihdrTrueSize->second);
    }
    writer.put<std::uint8_t>(s.info.idat ? 1 : 0);
    if (s.info.idat) {
        const IdatTotals& idat = *s.info.idat;
        for (const std::uint64_t value :
             {idat.chunks, idat.compressed, idat.inflated, idat.needed}) {
            writer.put(value);
        }
        writer.put<std::uint8_t>((idat.streamEnded ? 1 : 0) | (idat.capped ? 2 : 0));
    }
    return out;
}

Result<FileStructure> DecodeStructure(std::span<const std::uint8_t> bytes) {
    wire::Reader reader(bytes);
    FileStructure s;
    const auto magic = reader.get<std::uint32_t>();
    s.format = reader.getString();
    s.size = reader.get<std::uint64_t>();
    s.end = reader.get<std::uint64_t>();
    bool valid = reader.ok() && magic == kMagic && s.end <= s.size;
    s.parts.resize(valid ? reader.getCount(33) : 0);
    for (Part& part : s.parts) {
        valid = valid && GetPart(reader, part, s.size, 0);
    }
    s.anomalies.resize(valid ? reader.getCount(25) : 0);
    for (Anomaly& a : s.anomalies) {
        const auto kind = reader.get<std::uint8_t>();
        a.kind = static_cast<AnomalyKind>(kind);
        a.offset = reader.get<std::uint64_t>();
        a.length = reader.get<std::uint64_t>();
        a.reason = reader.getString();
        valid = valid && reader.ok() &&
                kind <= static_cast<std::uint8_t>(AnomalyKind::HiddenFrame) &&
                InFile(a.offset, a.length, s.size);
    }
    s.texts.resize(valid ? reader.getCount(32) : 0);
    for (Text& t : s.texts) {
        t.source = reader.getString();
        t.key = reader.getString();
        t.value = reader.getString();
        t.offset = reader.get<std::uint64_t>();
        valid = valid && reader.ok() && t.offset <= s.size;
    }
    s.carved.resize(valid ? reader.getCount(56) : 0);
    for (Carved& c : s.carved) {
        c.offset = reader.get<std::uint64_t>();
        c.length = reader.get<std::uint64_t>();
        c.type = reader.getString();
        c.what = reader.getString();
        c.from = static_cast<std::size_t>(reader.get<std::uint64_t>());
        c.sha256 = reader.getString();
        c.bytes = reader.getArray<std::uint8_t>();
        valid = valid && reader.ok() && InFile(c.offset, c.length, s.size) &&
                c.from < s.anomalies.size();
    }
    if (valid && reader.get<std::uint8_t>() != 0) {
        const auto width = reader.get<std::uint32_t>();
        const auto height = reader.get<std::uint32_t>();
        s.info.ihdrTrueSize = std::pair{width, height};
    }
    if (valid && reader.get<std::uint8_t>() != 0) {
        IdatTotals idat;
        for (std::uint64_t* value :
             {&idat.chunks, &idat.compressed, &idat.inflated, &idat.needed}) {
            *value = reader.get<std::uint64_t>();
        }
        const auto flags = reader.get<std::uint8_t>();
        idat.streamEnded = (flags & 1) != 0;
        idat.capped = (flags & 2) != 0;
        s.info.idat = idat;
    }
    if (!valid || !reader.atEnd()) {
        return Failure("the image decoder sent an unreadable file structure");
    }
    return s;
}

} // namespace vantrel::structure
