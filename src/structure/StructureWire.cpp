#include "structure/StructureWire.h"

#include "image/Wire.h"

#include <type_traits>

namespace vantrel::structure {
namespace {

constexpr std::uint32_t kMagic = 0x56535452; // "VSTR"
// Deeper than any walk nests its parts; a forged reply cannot recurse without end.
constexpr int kMaxPartDepth = 64;

// Each record's fields in their wire order, named once for both directions so that the encoder
// and the decoder cannot drift apart. Strings and byte arrays carry their length; numbers and
// enumerations go as they are.
struct Put {
    wire::Writer& writer;
    void field(const std::string& text) { writer.putString(text); }
    void field(const std::vector<std::uint8_t>& bytes) {
        writer.putArray(std::span<const std::uint8_t>(bytes));
    }
    template <typename T> void field(const T& value) { writer.put(value); }
    template <typename... T> void operator()(const T&... values) { (field(values), ...); }
};

struct Get {
    wire::Reader& reader;
    void field(std::string& text) { text = reader.getString(); }
    void field(std::vector<std::uint8_t>& bytes) { bytes = reader.getArray<std::uint8_t>(); }
    template <typename T> void field(T& value) { value = reader.get<T>(); }
    template <typename... T> void operator()(T&... values) { (field(values), ...); }
};

template <typename Io, typename R> void Fields(Io& io, R& r) {
    using Record = std::remove_const_t<R>;
    if constexpr (std::is_same_v<Record, Part>) {
        io(r.offset, r.length, r.kind, r.name, r.check); // then the children
    } else if constexpr (std::is_same_v<Record, Anomaly>) {
        io(r.kind, r.offset, r.length, r.reason);
    } else if constexpr (std::is_same_v<Record, Text>) {
        io(r.source, r.key, r.value, r.offset);
    } else {
        static_assert(std::is_same_v<Record, Carved>);
        io(r.offset, r.length, r.type, r.what, r.from, r.sha256, r.bytes);
    }
}

// A count, then each record (a part followed by its own parts).
template <typename Record> void PutList(Put& put, const std::vector<Record>& records) {
    put.writer.put<std::uint64_t>(records.size());
    for (const Record& record : records) {
        Fields(put, record);
        if constexpr (std::is_same_v<Record, Part>) {
            PutList(put, record.children);
        }
    }
}

// Every part lies inside the file; the smallest encoding of a part is 33 bytes.
bool GetPart(Get& get, Part& part, std::uint64_t size, int depth) {
    Fields(get, part);
    const std::size_t children = get.reader.getCount(33);
    if (!get.reader.ok() ||
        static_cast<std::uint8_t>(part.check) > static_cast<std::uint8_t>(Check::Bad) ||
        part.offset > size || part.length > size - part.offset ||
        (children > 0 && depth >= kMaxPartDepth)) {
        return false;
    }
    part.children.resize(children);
    for (Part& child : part.children) {
        if (!GetPart(get, child, size, depth + 1)) {
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
    Put put{writer};
    writer.put(kMagic);
    writer.putString(s.format);
    writer.put(s.size);
    writer.put(s.end);
    PutList(put, s.parts);
    PutList(put, s.anomalies);
    PutList(put, s.texts);
    PutList(put, s.carved);
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
    Get get{reader};
    FileStructure s;
    const auto magic = reader.get<std::uint32_t>();
    s.format = reader.getString();
    s.size = reader.get<std::uint64_t>();
    s.end = reader.get<std::uint64_t>();
    bool valid = reader.ok() && magic == kMagic && s.end <= s.size;
    s.parts.resize(valid ? reader.getCount(33) : 0);
    for (Part& part : s.parts) {
        valid = valid && GetPart(get, part, s.size, 0);
    }
    s.anomalies.resize(valid ? reader.getCount(25) : 0);
    for (Anomaly& a : s.anomalies) {
        Fields(get, a);
        valid = valid && reader.ok() &&
                static_cast<std::uint8_t>(a.kind) <=
                    static_cast<std::uint8_t>(AnomalyKind::HiddenFrame) &&
                InFile(a.offset, a.length, s.size);
    }
    s.texts.resize(valid ? reader.getCount(32) : 0);
    for (Text& t : s.texts) {
        Fields(get, t);
        valid = valid && reader.ok() && t.offset <= s.size;
    }
    s.carved.resize(valid ? reader.getCount(56) : 0);
    for (Carved& c : s.carved) {
        Fields(get, c);
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
