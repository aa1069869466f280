// A small JSON writer: objects, arrays, UTF-8 strings, integers, booleans.
#ifndef PX714SUP_TOOLS_JSON_H
#define PX714SUP_TOOLS_JSON_H

#include <string>
#include <string_view>
#include <vector>

namespace px714tool {

// Writes one JSON document into a string, indented by two spaces. Keys and
// strings must be UTF-8; control characters, quotes and backslashes are
// escaped. Calls must nest correctly (Key before each member of an object).
class JsonWriter {
public:
    explicit JsonWriter(std::string* out) : out_(out) {}
    void BeginObject() { Open('{'); }
    void EndObject() { Close('}'); }
    void BeginArray() { Open('['); }
    void EndArray() { Close(']'); }
    void Key(std::string_view key);
    void String(std::string_view utf8);
    void Number(long long number);
    void Unsigned(unsigned long long number);
    void Bool(bool value);
    void Null();

    // Shorthands for a member of an object.
    void Member(std::string_view key, std::string_view utf8) { Key(key); String(utf8); }
    void Member(std::string_view key, const char* utf8) { Key(key); String(utf8); }
    void Member(std::string_view key, long long number) { Key(key); Number(number); }
    void Member(std::string_view key, int number) { Key(key); Number(number); }
    void Member(std::string_view key, unsigned number) { Key(key); Unsigned(number); }
    void Member(std::string_view key, size_t number) { Key(key); Unsigned(number); }
    void Member(std::string_view key, bool value) { Key(key); Bool(value); }

private:
    void Open(char bracket);
    void Close(char bracket);
    void BeforeValue();
    void Newline();
    void Quoted(std::string_view text);
    std::string* out_;
    struct Level {
        bool empty = true;  // nothing written inside yet
    };
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace px714tool

#endif  // PX714SUP_TOOLS_JSON_H
