#pragma once
// One parsed JSON value read by path. The reader takes strict JSON and
// JavaScript literal syntax (bare member names, single-quoted strings, trailing
// commas); it never evaluates code. Strings are held as GBK.
//
// Paths: member names joined by ".", 0-based indexes in brackets, quoted names
// in brackets: "datas[3]", "data.diff[2].f14", "Data[0]['SYL_M']", "[0]".
// A missing member at any depth reads as "", 0, count 0, type None.
#include "text/Text.h"
#include <memory>
#include <nlohmann/json.hpp>

namespace fw {

enum class JsonType : int { None = 0, Number = 2, Object = 4, Array = 5, String = 6, Other = -1 };

class JsonDocument {
public:
    using Value = nlohmann::ordered_json;
    static constexpr int kMaxDepth = 256;

    JsonDocument();                 // root is an empty object
    JsonDocument(const JsonDocument&) = delete;
    JsonDocument& operator=(const JsonDocument&) = delete;
    JsonDocument(JsonDocument&&) noexcept;
    JsonDocument& operator=(JsonDocument&&) noexcept;
    ~JsonDocument();

    // A document sharing this one's root (changes through either are seen by both).
    JsonDocument clone() const;

    // Replace the root by the value the text holds; false (root null) when the
    // text is not one literal value.
    bool parse(std::string_view text);

    Text toJson() const;
    bool setMember(std::string_view path, std::string_view value, bool asExpression = false);
    bool setMemberExpression(std::string_view path, std::string_view expression);
    bool setNumber(std::string_view path, double number);
    double getNumber(std::string_view path) const;
    Text memberToJson(std::string_view path) const;
    Text getText(std::string_view path, bool asJson = false) const;
    JsonDocument getDocument(std::string_view path) const;
    int memberCount(std::string_view path = {}) const;
    bool pushElement(std::string_view path, std::string_view value, bool raw = false);
    JsonDocument getElementDocument(std::string_view path, int index) const;
    Text getElementText(std::string_view path, int index, bool asJson = false) const;
    bool setElement(int index, std::string_view value, bool raw = false);
    bool removeElement(int index);
    void resetAs(JsonType type);
    bool setRoot(std::string_view value, bool raw = false);
    bool hasMember(std::string_view path) const;
    int memberNames(std::string_view path, TextList& names) const;
    JsonType typeOf(std::string_view path = {}) const;
    void clear();

    // Direct access for code that wants the value tree.
    const Value& root() const;

private:
    std::shared_ptr<Value> m_root;
};

} // namespace fw
