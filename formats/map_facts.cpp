#include "map_facts.h"

#include "package_objects.h"
#include "unreal_properties.h"

#include "formats/umod.h"
#include "platform/bytes.h"
#include "platform/text_util.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

const char* const kNoPictureText = "no picture in this map";

namespace {

// An object's properties come first in its data: this much holds them for
// every object a map's facts and pictures come from.
constexpr uint64_t kMaxPropertyBytes = 1 << 20;
// How many materials a screenshot may lead through, and how many textures
// are looked at for one when the map names none.
constexpr int kMaxMaterialDepth = 16;
constexpr size_t kMaxTexturesLookedAt = 256;

struct Texture {
    TextureFormat format = TextureFormat::P8;
    int32_t palette = 0;
    bool masked = false;
    int32_t width = 0, height = 0;
};

// One package read through one ReadAt: its tables, and its objects' data on demand.
class Package {
public:
    Package(const ReadAt& read, uint64_t size)
        : m_read(read), m_size(size), m_objects(readPackageObjects(read, size)) {}

    const PackageObjects& objects() const { return m_objects; }

    // The bytes [offset, offset + n) of the file; nullopt past its end or on a failed read.
    std::optional<std::string> bytes(uint64_t offset, uint64_t n) const {
        if (offset > m_size || n > m_size - offset) return std::nullopt;
        std::string out(static_cast<size_t>(n), '\0');
        for (size_t got = 0; got < out.size();) {
            const ssize_t r = m_read(offset + got, out.data() + got, out.size() - got);
            if (r <= 0) return std::nullopt;
            got += static_cast<size_t>(r);
        }
        return out;
    }

    // The object's properties: its data's start (at most kMaxPropertyBytes),
    // after its script state when it has one. `data` keeps the bytes the list views.
    std::optional<PropertyList> properties(int32_t ref, std::string& data, std::string& why) const {
        const auto& ex = m_objects.exportOf(ref);
        const uint64_t n = std::min(ex.size, kMaxPropertyBytes);
        auto read = bytes(ex.offset, n);
        if (!read) {
            why = "the data of " + m_objects.objectName(ref) + " cannot be read";
            return std::nullopt;
        }
        data = std::move(*read);
        size_t at = 0;
        if (ex.flags & kHasStack) {
            // The state: its node, its state node, the probe mask (64 bits),
            // the latent action (32), and the code offset when a node is set.
            const auto node = readCompactIndex(data, at);
            const auto state = readCompactIndex(data, at);
            if (!node || !state || data.size() - at < 12) {
                why = "the state of " + m_objects.objectName(ref) + " is cut short";
                return std::nullopt;
            }
            at += 12;
            if (*node != 0 && !readCompactIndex(data, at)) {
                why = "the state of " + m_objects.objectName(ref) + " is cut short";
                return std::nullopt;
            }
        }
        PropertyList list = readProperties(data, at, m_objects.names);
        // A list cut where the read stopped is what there is of it.
        if (!list.whole() && n == ex.size) {
            why = "the properties of " + m_objects.objectName(ref) + " are damaged: " + list.why;
            return std::nullopt;
        }
        return list;
    }

private:
    const ReadAt& m_read;
    uint64_t m_size;
    PackageObjects m_objects;
};

std::optional<std::string> text(const PropertyList& list, const char* name) {
    const Property* p = list.find(name);
    return p ? stringValue(*p) : std::nullopt;
}

void takeFacts(MapFacts& f, const PropertyList& summary, const PropertyList* info,
               const std::vector<std::string>& names) {
    const auto str = [&](const char* name, std::string& into) {
        if (auto v = text(summary, name))
            into = *v;
        else if (info)
            if (auto w = text(*info, name)) into = *w;
    };
    str("Title", f.title);
    str("Author", f.author);
    str("Description", f.description);
    const auto count = [&](const char* name, std::optional<int32_t>& into) {
        if (const Property* p = summary.find(name)) into = intValue(*p);
        if (!into && info)
            if (const Property* p = info->find(name)) into = intValue(*p);
    };
    count("IdealPlayerCountMin", f.playersMin);
    count("IdealPlayerCountMax", f.playersMax);
    if (const Property* p = summary.find("HideFromMenus")) f.hideFromMenus = p->boolValue;
    if (!info) return;
    if (auto v = text(*info, "DefaultGameType")) f.defaultGameType = *v;
    if (const Property* p = info->find("Song")) {
        if (auto n = nameValue(*p, names))
            f.song = *n;
        else if (auto s = stringValue(*p))
            f.song = *s;
    }
}

MapPicture pictureOfFile(const std::string& path, const std::string& name, const std::string& cls,
                         const MapReadOptions& options, int depth);

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && equalsNoCase(s.substr(0, prefix.size()), prefix);
}

// Follows a screenshot through its materials to a texture.
class PictureFinder {
public:
    PictureFinder(const Package& package, const MapReadOptions& options)
        : m_p(package), m_o(package.objects()), m_options(options) {}

    MapPicture find(int32_t screenshot) {
        if (screenshot == 0) screenshot = m_o.findExport("", "Screenshot");
        if (screenshot == 0) screenshot = anyShot();
        if (screenshot == 0) return none(kNoPictureText);
        return follow(screenshot, 0);
    }

    MapPicture follow(int32_t ref, int depth) {
        if (depth > kMaxMaterialDepth || !m_seen.insert(ref).second)
            return none("its screenshot's materials lead back to themselves");
        if (m_o.isImport(ref)) return elsewhere(ref, depth);
        if (!m_o.isExport(ref)) return none(kNoPictureText);
        const std::string& cls = m_o.className(ref);
        if (equalsNoCase(cls, "Texture")) return decode(ref);
        std::string data, why;
        const auto list = m_p.properties(ref, data, why);
        if (!list) return none(why, MapPicture::Kind::Damaged);
        const int32_t to = nextMaterial(cls, *list);
        if (to == 0) return none(kNoPictureText);
        return follow(to, depth + 1);
    }

private:
    static MapPicture none(std::string why, MapPicture::Kind kind = MapPicture::Kind::NoPicture) {
        MapPicture out;
        out.kind = kind;
        out.why = std::move(why);
        return out;
    }

    // The material a material shows, one level down; 0 when none.
    int32_t nextMaterial(const std::string& cls, const PropertyList& list) {
        const auto next = [&](const char* name) -> int32_t {
            const Property* p = list.find(name);
            return p ? objectValue(*p).value_or(0) : 0;
        };
        if (equalsNoCase(cls, "MaterialSequence")) {
            const int32_t fallback = next("FallbackMaterial");
            return fallback != 0 ? fallback : firstSequenceItem(list);
        }
        if (equalsNoCase(cls, "Shader")) return next("Diffuse");
        if (equalsNoCase(cls, "Combiner")) return next("Material1");
        if (equalsNoCase(cls, "FinalBlend") || startsWithNoCase(cls, "Tex"))
            return next("Material");
        return 0;
    }

    // SequenceItems[0].Material: the array's first element is a tagged list.
    int32_t firstSequenceItem(const PropertyList& list) {
        const Property* items = list.find("SequenceItems");
        const auto array = items ? arrayValue(*items) : std::nullopt;
        if (!array || array->first < 1) return 0;
        const PropertyList first = readProperties(items->value, array->second, m_o.names);
        const Property* material = first.find("Material");
        return material ? objectValue(*material).value_or(0) : 0;
    }

    // A texture of another package: read there when that package is at hand.
    MapPicture elsewhere(int32_t ref, int depth) {
        const std::string& package = m_o.outermostName(ref);
        const std::string file = m_options.locate ? m_options.locate(package) : std::string();
        if (file.empty())
            return none("its screenshot is in " + package + ", which is not installed");
        MapReadOptions inner = m_options;
        inner.locate = nullptr; // one package further at most
        return pictureOfFile(file, m_o.objectName(ref), m_o.className(ref), inner, depth);
    }

    std::optional<Texture> texture(int32_t ref, std::string& why) {
        std::string data;
        const auto list = m_p.properties(ref, data, why);
        if (!list) return std::nullopt;
        Texture t;
        if (const Property* f = list->find("Format"))
            t.format = static_cast<TextureFormat>(intValue(*f).value_or(0));
        if (const Property* p = list->find("Palette")) t.palette = objectValue(*p).value_or(0);
        if (const Property* m = list->find("bMasked")) t.masked = m->boolValue;
        if (const Property* u = list->find("USize")) t.width = intValue(*u).value_or(0);
        if (const Property* v = list->find("VSize")) t.height = intValue(*v).value_or(0);
        m_mipsAt = list->end;
        return t;
    }

    Palette palette(int32_t ref, std::string& why) {
        if (!m_o.isExport(ref) || !equalsNoCase(m_o.className(ref), "Palette")) return {};
        std::string data;
        const auto list = m_p.properties(ref, data, why);
        if (!list) return {};
        size_t at = list->end;
        const auto count = readCompactIndex(data, at);
        if (!count || *count <= 0 || *count > 256 ||
            (data.size() - at) / 4 < static_cast<size_t>(*count))
            return {};
        Palette out(static_cast<size_t>(*count));
        for (auto& c : out) {
            std::memcpy(c.data(), data.data() + at, 4);
            at += 4;
        }
        return out;
    }

    MapPicture decode(int32_t ref) {
        std::string why;
        const auto t = texture(ref, why);
        if (!t) return none(why, MapPicture::Kind::Damaged);
        const auto& ex = m_o.exportOf(ref);
        // The mips, the largest first: each one's 32-bit end (the file offset past its
        // data), its compact size and data, then its width, height and their bits.
        uint64_t at = ex.offset + m_mipsAt;
        auto head = m_p.bytes(
            at, std::min<uint64_t>(5, ex.offset + ex.size - std::min(at, ex.offset + ex.size)));
        size_t used = 0;
        const auto mips = head ? readCompactIndex(*head, used) : std::nullopt;
        if (!mips || *mips < 0 || *mips > 16)
            return none("the mips of " + m_o.objectName(ref) + " are damaged",
                        MapPicture::Kind::Damaged);
        at += used;
        for (int64_t i = 0; i < *mips; ++i) {
            auto fixed = m_p.bytes(at, 9);
            if (!fixed) break;
            const uint64_t end = readLe32(fixed->data());
            size_t pos = 4;
            const auto size = readCompactIndex(*fixed, pos);
            const uint64_t dataAt = at + pos;
            if (!size || *size < 0 || end < dataAt ||
                end - dataAt != static_cast<uint64_t>(*size) || end > ex.offset + ex.size)
                return none("the mips of " + m_o.objectName(ref) + " are damaged",
                            MapPicture::Kind::Damaged);
            auto sizes = m_p.bytes(end, 10);
            if (!sizes)
                return none("the mips of " + m_o.objectName(ref) + " are cut short",
                            MapPicture::Kind::Damaged);
            const auto w = static_cast<int32_t>(readLe32(sizes->data())),
                       h = static_cast<int32_t>(readLe32(sizes->data() + 4));
            at = end + 10;
            if (*size == 0 || w > m_options.maxWidth || h > m_options.maxHeight) continue;
            const auto need = mipBytes(t->format, w, h);
            if (!need)
                return none("the picture of " + m_o.objectName(ref) + " is " + std::to_string(w) +
                                "x" + std::to_string(h) + " in " + formatName(t->format) +
                                ", which is not read",
                            MapPicture::Kind::Damaged);
            if (*need != static_cast<uint64_t>(*size))
                return none("the picture of " + m_o.objectName(ref) +
                                " holds other bytes than its size needs",
                            MapPicture::Kind::Damaged);
            const auto data = m_p.bytes(dataAt, *need);
            if (!data)
                return none("the picture of " + m_o.objectName(ref) + " cannot be read",
                            MapPicture::Kind::Damaged);
            const Palette colours =
                t->format == TextureFormat::P8 ? palette(t->palette, why) : Palette{};
            auto picture = decodeMip(t->format, *data, w, h, colours, t->masked, &why);
            if (!picture) return none(why, MapPicture::Kind::Damaged);
            MapPicture out;
            out.kind = MapPicture::Kind::Picture;
            out.picture = std::move(*picture);
            out.textureName = m_o.objectName(ref);
            out.format = t->format;
            return out;
        }
        return none(kNoPictureText);
    }

    // The last resort: a texture named like a screenshot, else one of 512 x 256.
    int32_t anyShot() {
        size_t looked = 0;
        int32_t sized = 0;
        for (size_t i = 0; i < m_o.exports.size() && looked < kMaxTexturesLookedAt; ++i) {
            const auto ref = static_cast<int32_t>(i + 1);
            if (!equalsNoCase(m_o.className(ref), "Texture")) continue;
            const std::string name = toLower(m_o.objectName(ref));
            if (name.find("shot") != std::string::npos ||
                name.find("screen") != std::string::npos ||
                name.find("preview") != std::string::npos)
                return ref;
            ++looked;
            std::string why;
            if (sized == 0)
                if (const auto t = texture(ref, why); t && t->width == 512 && t->height == 256)
                    sized = ref;
        }
        return sized;
    }

    const Package& m_p;
    const PackageObjects& m_o;
    const MapReadOptions& m_options;
    std::set<int32_t> m_seen;
    size_t m_mipsAt = 0;
};

template <class Fn> auto withFile(const std::string& path, Fn fn, std::string& error) {
    // Never waits on a FIFO or a device named like a package.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = fd < 0 ? std::strerror(errno) : "it is not a file";
        if (fd >= 0) ::close(fd);
        return decltype(fn(ReadAt{}, uint64_t{})){};
    }
    const ReadAt read = [fd](uint64_t offset, char* buf, size_t size) -> ssize_t {
        for (;;) {
            const ssize_t n = ::pread(fd, buf, size, static_cast<off_t>(offset));
            if (n >= 0 || errno != EINTR) return n;
        }
    };
    auto out = fn(read, static_cast<uint64_t>(st.st_size));
    ::close(fd);
    return out;
}

MapPicture pictureOfFile(const std::string& path, const std::string& name, const std::string& cls,
                         const MapReadOptions& options, int depth) {
    std::string error;
    MapPicture out = withFile(
        path,
        [&](const ReadAt& read, uint64_t size) {
            const Package package(read, size);
            if (package.objects().kind != PackageObjects::Kind::Package) {
                MapPicture damaged;
                damaged.kind = MapPicture::Kind::NoPicture;
                damaged.why = "its screenshot's package " + path + " cannot be read";
                return damaged;
            }
            PictureFinder finder(package, options);
            const int32_t ref = package.objects().findExport(cls, name);
            if (ref == 0) {
                MapPicture missing;
                missing.why = "its screenshot " + name + " is not in " + path;
                return missing;
            }
            return finder.follow(ref, depth + 1);
        },
        error);
    if (!error.empty()) out.why = "its screenshot's package " + path + " cannot be read: " + error;
    return out;
}

} // namespace

MapRead readMap(const ReadAt& read, uint64_t fileSize, const MapReadOptions& options) {
    MapRead out;
    MapFacts& f = out.facts;
    const Package package(read, fileSize);
    const PackageObjects& o = package.objects();
    f.why = o.why;
    f.fileVersion = o.header.fileVersion;
    switch (o.kind) {
    case PackageObjects::Kind::NotAPackage:
        f.kind = MapFacts::Kind::NotAPackage;
        return out;
    case PackageObjects::Kind::Damaged:
        f.kind = MapFacts::Kind::Damaged;
        return out;
    case PackageObjects::Kind::Unreadable:
        f.kind = MapFacts::Kind::Unreadable;
        return out;
    case PackageObjects::Kind::Package:
        break;
    }
    const int32_t summaryRef = o.findExport("LevelSummary"), infoRef = o.findExport("LevelInfo");
    if (summaryRef == 0 && infoRef == 0) {
        f.kind = MapFacts::Kind::NotAMap;
        return out;
    }
    std::string summaryData, infoData, why;
    std::optional<PropertyList> summary, info;
    if (summaryRef && !(summary = package.properties(summaryRef, summaryData, why))) {
        f.kind = MapFacts::Kind::Damaged;
        f.why = why;
        return out;
    }
    if (infoRef && !(info = package.properties(infoRef, infoData, why))) {
        f.kind = MapFacts::Kind::Damaged;
        f.why = why;
        return out;
    }
    const PropertyList empty;
    takeFacts(f, summary ? *summary : empty, info ? &*info : nullptr, o.names);
    f.kind = MapFacts::Kind::Map;
    if (options.picture) {
        const Property* shot = summary ? summary->find("Screenshot") : nullptr;
        if (!shot && info) shot = info->find("Screenshot");
        PictureFinder finder(package, options);
        out.picture = finder.find(shot ? objectValue(*shot).value_or(0) : 0);
    }
    return out;
}

MapRead readMapFile(const std::string& path, const MapReadOptions& options) {
    std::string error;
    MapRead out = withFile(
        path, [&](const ReadAt& read, uint64_t size) { return readMap(read, size, options); },
        error);
    if (!error.empty()) {
        out.facts.kind = MapFacts::Kind::Unreadable;
        out.facts.why = error;
    }
    return out;
}

} // namespace tv
