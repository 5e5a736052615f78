#include "text/JsonDocument.h"

#include "text/JsonText.h"
#include "text/NumberText.h"

#include <cmath>
#include <memory>
#include <vector>

namespace fw {

namespace {

using Value = JsonDocument::Value;

// Setting an element far past the end of an array fills the gap with nulls;
// beyond this gap the request is refused rather than exhausting memory.
constexpr long long kMaxArrayGap = 1 << 20;

// How a path relates to the root, per operation. Some operations address the
// root by an empty path; some read "[0]" as the root's first element, the
// others (which always join root and path with ".") read it as naming nothing.
struct PathRules {
    bool emptyIsRoot;
    bool leadingBracket;
};
constexpr PathRules kReadRules{false, true};      // getText, getDocument
constexpr PathRules kCountRules{true, true};      // memberCount
constexpr PathRules kRootOrMember{true, false};   // typeOf, memberNames, element access, pushElement
constexpr PathRules kMemberOnly{false, false};    // the rest

inline bool isNameStart(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
}
inline bool isNamePart(unsigned char c) { return isNameStart(c) || (c >= '0' && c <= '9'); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

// One step of a path: a member name, or a bracketed index (kept with its
// decimal text, since an index on an object names the member of that name).
struct Segment {
    std::string_view name;
    long long index = -1; // >= 0 for an array index
    Text owned;           // a quoted name that needed unescaping
};

// The index that a member name stands for on an array ("3" → 3), or -1.
long long indexOfName(std::string_view name)
{
    if (name.empty() || name.size() > 15 || (name.size() > 1 && name[0] == '0')) return -1;
    long long v = 0;
    for (char c : name) {
        if (!isDigit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

// Reads a path one segment at a time without allocating (except for quoted
// names that contain escapes).
class PathReader {
public:
    explicit PathReader(std::string_view path) : m_path(path) {}

    enum Result { Segment_, End, Error };

    Result next(Segment& seg)
    {
        if (m_pos == m_path.size()) return End;
        const char c = m_path[m_pos];
        if (c == '[') return bracket(seg);
        if (m_pos > 0) {
            if (c != '.') return Error;
            ++m_pos;
        }
        return name(seg);
    }

    // True when the whole path is well formed.
    static bool valid(std::string_view path)
    {
        PathReader r(path);
        Segment seg;
        for (;;) {
            const Result res = r.next(seg);
            if (res == End) return true;
            if (res == Error) return false;
        }
    }

private:
    Result name(Segment& seg)
    {
        const size_t start = m_pos;
        if (m_pos == m_path.size() || !isNameStart(static_cast<unsigned char>(m_path[m_pos]))) return Error;
        while (m_pos < m_path.size() && isNamePart(static_cast<unsigned char>(m_path[m_pos]))) {
            // Two-byte characters pair as the reader pairs them in member names.
            const bool pair = static_cast<unsigned char>(m_path[m_pos]) >= 0x80 && m_pos + 1 < m_path.size() &&
                              json::isTrailByte(static_cast<unsigned char>(m_path[m_pos + 1]));
            m_pos += pair ? 2 : 1;
        }
        seg.name = m_path.substr(start, m_pos - start);
        seg.index = -1;
        return Segment_;
    }

    void skipBlanks()
    {
        while (m_pos < m_path.size() && m_path[m_pos] == ' ') ++m_pos;
    }

    Result bracket(Segment& seg)
    {
        ++m_pos; // '['
        skipBlanks();
        if (m_pos == m_path.size()) return Error;
        const char c = m_path[m_pos];
        if (c == '\'' || c == '"') {
            // Quoted name: a plain one is used in place, one with escapes is decoded.
            const size_t close = m_path.find(c, m_pos + 1);
            const size_t escape = m_path.find('\\', m_pos + 1);
            if (close != std::string_view::npos && (escape == std::string_view::npos || escape > close)) {
                seg.name = m_path.substr(m_pos + 1, close - m_pos - 1);
                m_pos = close + 1;
            } else {
                seg.owned.clear();
                if (!json::readQuoted(m_path, m_pos, seg.owned)) return Error;
                seg.name = seg.owned;
            }
            seg.index = indexOfName(seg.name);
        } else if (isDigit(c) || c == '-') {
            const size_t start = m_pos;
            if (c == '-') ++m_pos;
            const size_t digits = m_pos;
            while (m_pos < m_path.size() && isDigit(m_path[m_pos])) ++m_pos;
            if (m_pos == digits) return Error;
            // An index on an object names the member of its decimal form: [007] is "7".
            size_t first = digits;
            while (first + 1 < m_pos && m_path[first] == '0') ++first;
            if (c == '-') {
                seg.name = m_path.substr(start, m_pos - start);
                seg.index = -1;
            } else {
                seg.name = m_path.substr(first, m_pos - first);
                seg.index = indexOfName(seg.name);
            }
        } else {
            return Error;
        }
        skipBlanks();
        if (m_pos == m_path.size() || m_path[m_pos] != ']') return Error;
        ++m_pos;
        return Segment_;
    }

    std::string_view m_path;
    size_t m_pos = 0;
};

const Value* findMember(const Value& v, std::string_view name)
{
    for (const auto& member : v.get_ref<const Value::object_t&>())
        if (member.first == name) return &member.second;
    return nullptr;
}

// Element `index` of an array, or the member named by its decimal text.
const Value* element(const Value& v, int index)
{
    if (v.is_array()) return index >= 0 && static_cast<size_t>(index) < v.size() ? &v[static_cast<size_t>(index)] : nullptr;
    if (v.is_object()) return findMember(v, std::to_string(index));
    return nullptr;
}

const Value* child(const Value& v, const Segment& seg)
{
    if (v.is_object()) return findMember(v, seg.name);
    if (v.is_array()) {
        const auto& items = v.get_ref<const Value::array_t&>();
        if (seg.index >= 0 && static_cast<unsigned long long>(seg.index) < items.size())
            return &items[static_cast<size_t>(seg.index)];
    }
    return nullptr;
}

bool startAllowed(std::string_view path, PathRules rules)
{
    if (path.empty()) return rules.emptyIsRoot;
    return path[0] != '[' || rules.leadingBracket;
}

// The value a path names, or nullptr (missing at any depth, or a malformed path).
const Value* resolve(const Value& root, std::string_view path, PathRules rules)
{
    if (!startAllowed(path, rules)) return nullptr;
    const Value* v = &root;
    PathReader reader(path);
    Segment seg;
    for (;;) {
        switch (reader.next(seg)) {
        case PathReader::End: return v;
        case PathReader::Error: return nullptr;
        case PathReader::Segment_:
            v = child(*v, seg);
            if (!v) return nullptr;
        }
    }
}

// The slot for member `name` / element `index` inside `parent`, created (as
// null) when missing; nullptr when the parent cannot hold it.
Value* slotIn(Value& parent, std::string_view name, long long index)
{
    if (parent.is_object()) {
        if (const Value* existing = findMember(parent, name)) return const_cast<Value*>(existing);
        auto& members = parent.get_ref<Value::object_t&>();
        members.emplace_back(Text(name), nullptr);
        return &members.back().second;
    }
    if (parent.is_array()) {
        auto& items = parent.get_ref<Value::array_t&>();
        if (index < 0) return nullptr; // a named property of an array has no JSON form
        if (static_cast<unsigned long long>(index) >= items.size()) {
            if (index - static_cast<long long>(items.size()) > kMaxArrayGap) return nullptr;
            items.resize(static_cast<size_t>(index) + 1);
        }
        return &items[static_cast<size_t>(index)];
    }
    return nullptr;
}

// The place an assignment to `path` writes to, created (as null) when the
// parent holds no such member yet; nullptr when the parent is missing or
// cannot hold the member. An empty path (where allowed) is the root itself.
Value* assignTarget(Value& root, std::string_view path, PathRules rules)
{
    if (!startAllowed(path, rules) || !PathReader::valid(path)) return nullptr;
    if (path.empty()) return &root;
    Value* parent = &root;
    PathReader reader(path);
    // Two segments alternate so that a name held by a segment stays in place.
    Segment segs[2];
    int cur = 0;
    reader.next(segs[cur]);
    while (reader.next(segs[1 - cur]) == PathReader::Segment_) {
        parent = const_cast<Value*>(child(*parent, segs[cur]));
        if (!parent) return nullptr;
        cur = 1 - cur;
    }
    return slotIn(*parent, segs[cur].name, segs[cur].index);
}

// The value a write operation stores: a literal read by our reader (never
// evaluated) or, unless raw, the text itself as a string.
bool valueFromText(std::string_view text, bool literal, Value& out)
{
    if (!literal) {
        out = Text(text);
        return true;
    }
    return json::readValue(text, out, JsonDocument::kMaxDepth);
}

Text scalarText(const Value& v)
{
    switch (v.type()) {
    case Value::value_t::string: return v.get_ref<const Value::string_t&>();
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
    case Value::value_t::number_float: return doubleText(v.get<double>());
    case Value::value_t::boolean: return v.get<bool>() ? "true" : "false";
    case Value::value_t::object:
    case Value::value_t::array: {
        Text out;
        json::writeValue(v, out);
        return out;
    }
    default: return {};
    }
}

Text jsonText(const Value* v)
{
    Text out;
    if (v) json::writeValue(*v, out);
    return out;
}

// Frees a tree from the back, leaves first. The library's own destructor
// first moves every element of an array into a stack of its own, which for an
// answer of millions of elements is a second copy of the array at once; the
// tree is emptied here so that it never needs one. Iterative: no depth limit.
void releaseTree(Value& root)
{
    std::vector<Value*> open {&root};
    while (!open.empty()) {
        Value& v = *open.back();
        Value* last = nullptr;
        if (v.is_array()) {
            auto& items = v.get_ref<Value::array_t&>();
            if (!items.empty())
                last = &items.back();
        } else if (v.is_object()) {
            auto& members = static_cast<Value::object_t::Container&>(v.get_ref<Value::object_t&>());
            if (!members.empty())
                last = &members.back().second;
        }
        if (!last) {
            open.pop_back();
            continue;
        }
        if ((last->is_array() || last->is_object()) && !last->empty()) {
            open.push_back(last);
            continue;
        }
        if (v.is_array())
            v.get_ref<Value::array_t&>().pop_back();
        else
            static_cast<Value::object_t::Container&>(v.get_ref<Value::object_t&>()).pop_back();
    }
    root = Value();
}

std::shared_ptr<Value> newRoot(Value value = Value())
{
    return std::shared_ptr<Value>(new Value(std::move(value)), [](Value* v) {
        releaseTree(*v);
        delete v;
    });
}

const Value& nullValue()
{
    static const Value kNull;
    return kNull;
}

} // namespace

JsonDocument::JsonDocument() : m_root(newRoot(Value::object())) {}
JsonDocument::JsonDocument(JsonDocument&&) noexcept = default;
JsonDocument& JsonDocument::operator=(JsonDocument&&) noexcept = default;
JsonDocument::~JsonDocument() = default;

JsonDocument JsonDocument::clone() const
{
    JsonDocument copy;
    copy.m_root = m_root;
    return copy;
}

const JsonDocument::Value& JsonDocument::root() const { return m_root ? *m_root : nullValue(); }

bool JsonDocument::parse(std::string_view text)
{
    if (!m_root) m_root = newRoot();
    // The old tree goes first: a big page is never held twice.
    releaseTree(*m_root);
    Value value;
    try {
        if (json::readValue(text, value, kMaxDepth))
            *m_root = std::move(value);
    } catch (const std::exception&) {
    }
    releaseTree(value); // what a refused text built
    return !m_root->is_null();
}

Text JsonDocument::toJson() const { return m_root ? jsonText(m_root.get()) : Text(); }

bool JsonDocument::setMember(std::string_view path, std::string_view value, bool asExpression)
{
    if (asExpression && value.empty()) value = "{}";
    if (!m_root) return false;
    try {
        Value v;
        if (!valueFromText(value, asExpression, v)) return false;
        Value* target = assignTarget(*m_root, path, kMemberOnly);
        if (!target) return false;
        *target = std::move(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool JsonDocument::setMemberExpression(std::string_view path, std::string_view expression)
{
    if (expression.empty()) return false;
    return setMember(path, expression, true);
}

bool JsonDocument::setNumber(std::string_view path, double number)
{
    if (!std::isfinite(number)) return false;
    // The number is stored as its "%.13g" text reads back, like every number
    // the program writes.
    return setMember(path, doubleText(number), true);
}

double JsonDocument::getNumber(std::string_view path) const
{
    if (!m_root) return 0;
    const Value* v = resolve(*m_root, path, kMemberOnly);
    if (!v) return 0;
    if (v->is_number()) return v->get<double>();
    if (v->is_boolean()) return v->get<bool>() ? 1 : 0;
    if (v->is_string()) {
        // A string counts when it is wholly one number (the service sends counts as strings).
        Value n;
        if (json::readValue(v->get_ref<const Value::string_t&>(), n, 0) && n.is_number()) return n.get<double>();
    }
    return 0;
}

Text JsonDocument::memberToJson(std::string_view path) const
{
    return m_root ? jsonText(resolve(*m_root, path, kMemberOnly)) : Text();
}

Text JsonDocument::getText(std::string_view path, bool asJson) const
{
    if (!m_root) return {};
    const Value* v = resolve(*m_root, path, kReadRules);
    if (!v) return {};
    return asJson ? jsonText(v) : scalarText(*v);
}

JsonDocument JsonDocument::getDocument(std::string_view path) const
{
    JsonDocument doc;
    const Value* v = m_root ? resolve(*m_root, path, kReadRules) : nullptr;
    *doc.m_root = v ? *v : Value();
    return doc;
}

int JsonDocument::memberCount(std::string_view path) const
{
    if (!m_root) return 0;
    const Value* v = resolve(*m_root, path, kCountRules);
    if (!v || !v->is_structured()) return 0;
    return static_cast<int>(v->size());
}

bool JsonDocument::pushElement(std::string_view path, std::string_view value, bool raw)
{
    if (!m_root) return false;
    try {
        Value v;
        if (!valueFromText(value, raw, v)) return false;
        Value* target = assignTarget(*m_root, path, kRootOrMember);
        if (!target) return false;
        if (!target->is_array()) *target = Value::array();
        target->push_back(std::move(v));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

JsonDocument JsonDocument::getElementDocument(std::string_view path, int index) const
{
    JsonDocument doc;
    const Value* v = m_root ? resolve(*m_root, path, kRootOrMember) : nullptr;
    const Value* item = v ? element(*v, index) : nullptr;
    *doc.m_root = item ? *item : Value();
    return doc;
}

Text JsonDocument::getElementText(std::string_view path, int index, bool asJson) const
{
    const Value* v = m_root ? resolve(*m_root, path, kRootOrMember) : nullptr;
    const Value* item = v ? element(*v, index) : nullptr;
    if (!item) return {};
    return asJson ? jsonText(item) : scalarText(*item);
}

bool JsonDocument::setElement(int index, std::string_view value, bool raw)
{
    if (!m_root) return false;
    try {
        Value v;
        if (!valueFromText(value, raw, v)) return false;
        Value* target = slotIn(*m_root, std::to_string(index), index);
        if (!target) return false;
        *target = std::move(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool JsonDocument::removeElement(int index)
{
    if (!m_root || !m_root->is_array()) return false;
    auto& items = m_root->get_ref<Value::array_t&>();
    // Like Array.prototype.splice: a negative index counts from the end.
    const long long size = static_cast<long long>(items.size());
    long long start = index < 0 ? std::max(0LL, size + index) : std::min<long long>(index, size);
    if (start >= size) return false;
    items.erase(items.begin() + start);
    return true;
}

void JsonDocument::resetAs(JsonType type)
{
    if (type != JsonType::None && type != JsonType::Object && type != JsonType::Array) return;
    if (!m_root) m_root = newRoot();
    *m_root = type == JsonType::Array ? Value::array() : Value::object();
}

bool JsonDocument::setRoot(std::string_view value, bool raw)
{
    try {
        Value v;
        if (!valueFromText(value, raw, v)) return false;
        if (!m_root) m_root = newRoot();
        *m_root = std::move(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool JsonDocument::hasMember(std::string_view path) const
{
    const Value* v = m_root ? resolve(*m_root, path, kMemberOnly) : nullptr;
    return v && !v->is_null();
}

int JsonDocument::memberNames(std::string_view path, TextList& names) const
{
    names.clear();
    const Value* v = m_root ? resolve(*m_root, path, kRootOrMember) : nullptr;
    if (!v) return 0;
    if (v->is_object()) {
        for (const auto& member : v->get_ref<const Value::object_t&>()) names.push_back(member.first);
    } else if (v->is_array()) {
        for (size_t i = 0; i < v->size(); ++i) names.push_back(std::to_string(i));
    }
    return static_cast<int>(names.size());
}

JsonType JsonDocument::typeOf(std::string_view path) const
{
    const Value* v = m_root ? resolve(*m_root, path, kRootOrMember) : nullptr;
    if (!v) return JsonType::None;
    switch (v->type()) {
    case Value::value_t::null: return JsonType::None;
    case Value::value_t::object: return JsonType::Object;
    case Value::value_t::array: return JsonType::Array;
    case Value::value_t::string: return JsonType::String;
    case Value::value_t::number_integer:
    case Value::value_t::number_unsigned:
    case Value::value_t::number_float: return JsonType::Number;
    default: return JsonType::Other;
    }
}

void JsonDocument::clear()
{
    if (!m_root) m_root = newRoot();
    releaseTree(*m_root);
    *m_root = Value::object();
}

} // namespace fw
