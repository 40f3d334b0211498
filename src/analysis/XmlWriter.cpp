#include "analysis/XmlWriter.h"

#include <charconv>
#include <cmath>

namespace corv {

namespace {

void AppendHexEscape(std::string& out, unsigned code) {
    static const char hex[] = "0123456789ABCDEF";
    out += "_x";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(code >> shift) & 0xF];
    out += '_';
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Length of the well-formed UTF-8 sequence at s[i], 0 when malformed.
std::size_t SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char c = b(0);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + n > s.size() || b(1) < lo || b(1) > hi) return 0;
    for (std::size_t k = 2; k < n; ++k)
        if ((b(k) & 0xC0) != 0x80) return 0;
    return n;
}

}  // namespace

void AppendEscaped(std::string& out, std::string_view text, bool attribute) {
    std::size_t plain = 0;  // start of the run copied as it stands
    const auto flush = [&](std::size_t upTo) { out.append(text.data() + plain, upTo - plain); };
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = SequenceLength(text, i);
            if (n == 0) {
                flush(i);
                out += "\xEF\xBF\xBD";
                plain = ++i;
            } else if (n == 3 && c == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                       static_cast<unsigned char>(text[i + 2]) >= 0xBE) {
                flush(i);
                AppendHexEscape(out, 0xFFFE + (static_cast<unsigned char>(text[i + 2]) - 0xBE));
                plain = i += 3;
            } else {
                i += n;
            }
            continue;
        }
        const char* entity = nullptr;
        switch (c) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = attribute ? "&quot;" : nullptr;
                break;
            default:
                break;
        }
        if (entity) {
            flush(i);
            out += entity;
            plain = ++i;
        } else if (attribute && (c == '\t' || c == '\n' || c == '\r')) {
            // An attribute's blanks are folded by readers unless written as references.
            flush(i);
            out += c == '\t' ? "&#9;" : c == '\n' ? "&#10;" : "&#13;";
            plain = ++i;
        } else if (c < 0x20 && c != '\t' && c != '\n') {
            flush(i);
            AppendHexEscape(out, c);
            plain = ++i;
        } else if (c == '_' && i + 6 < text.size() && text[i + 1] == 'x' && IsHex(text[i + 2]) &&
                   IsHex(text[i + 3]) && IsHex(text[i + 4]) && IsHex(text[i + 5]) && text[i + 6] == '_') {
            flush(i);
            out += "_x005F_";
            plain = ++i;
        } else {
            ++i;
        }
    }
    flush(text.size());
}

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) value = 0;  // the file format has no infinities
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

void XmlWriter::EndStartTag() {
    if (startTagOpen_) {
        out_ += '>';
        startTagOpen_ = false;
    }
}

XmlWriter& XmlWriter::Open(std::string_view tag) {
    EndStartTag();
    out_ += '<';
    out_ += tag;
    open_.push_back(tag);
    startTagOpen_ = true;
    return *this;
}

XmlWriter& XmlWriter::Attr(std::string_view name, std::string_view value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendEscaped(out_, value, true);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::Attr(std::string_view name, long long value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    out_.append(buf, res.ptr);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::AttrNumber(std::string_view name, double value) {
    out_ += ' ';
    out_ += name;
    out_ += "=\"";
    AppendNumber(out_, value);
    out_ += '"';
    return *this;
}

XmlWriter& XmlWriter::Text(std::string_view text) {
    EndStartTag();
    AppendEscaped(out_, text, false);
    return *this;
}

XmlWriter& XmlWriter::Number(double value) {
    EndStartTag();
    AppendNumber(out_, value);
    return *this;
}

XmlWriter& XmlWriter::Raw(std::string_view markup) {
    EndStartTag();
    out_ += markup;
    return *this;
}

XmlWriter& XmlWriter::Close() {
    const std::string_view tag = open_.back();
    open_.pop_back();
    if (startTagOpen_) {
        out_ += "/>";
        startTagOpen_ = false;
    } else {
        out_ += "</";
        out_ += tag;
        out_ += '>';
    }
    return *this;
}

}  // namespace corv
