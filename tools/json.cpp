#include "tools/json.h"

#include <cstdio>

namespace px714tool {

void JsonWriter::Newline() {
    out_->push_back('\n');
    out_->append(levels_.size() * 2, ' ');
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) return;
    if (!levels_.back().empty) out_->push_back(',');
    levels_.back().empty = false;
    Newline();
}

void JsonWriter::Open(char bracket) {
    BeforeValue();
    out_->push_back(bracket);
    levels_.push_back(Level{});
}

void JsonWriter::Close(char bracket) {
    bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) Newline();
    out_->push_back(bracket);
    if (levels_.empty()) out_->push_back('\n');
}

void JsonWriter::Key(std::string_view key) {
    BeforeValue();
    Quoted(key);
    out_->append(": ");
    afterKey_ = true;
}

void JsonWriter::String(std::string_view utf8) {
    BeforeValue();
    Quoted(utf8);
}

void JsonWriter::Number(long long number) {
    BeforeValue();
    out_->append(std::to_string(number));
}

void JsonWriter::Unsigned(unsigned long long number) {
    BeforeValue();
    out_->append(std::to_string(number));
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_->append(value ? "true" : "false");
}

void JsonWriter::Null() {
    BeforeValue();
    out_->append("null");
}

void JsonWriter::Quoted(std::string_view text) {
    out_->push_back('"');
    for (char ch : text) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out_->append("\\\""); break;
        case '\\': out_->append("\\\\"); break;
        case '\n': out_->append("\\n"); break;
        case '\r': out_->append("\\r"); break;
        case '\t': out_->append("\\t"); break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out_->append(buffer);
            } else {
                out_->push_back(ch);
            }
        }
    }
    out_->push_back('"');
}

}  // namespace px714tool
