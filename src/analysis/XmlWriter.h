#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corv {

// Appends text to out as the workbook's XML parts need it: &, <, > (and " in attributes) as entities; in
// attributes tab, line feed and carriage return as character references, since readers fold them there;
// characters XML cannot carry (other controls, a carriage return in text, which readers would fold, U+FFFE,
// U+FFFF) in the _xHHHH_ form, with a literal "_x" that would read as such protected as _x005F_; malformed
// UTF-8 as U+FFFD.
void AppendEscaped(std::string& out, std::string_view text, bool attribute);

// A streaming XML writer: elements go straight into the caller's buffer, which the caller drains as it
// likes. Tags are string literals; they are kept by view until closed.
class XmlWriter {
  public:
    explicit XmlWriter(std::string& out) : out_(out) {}

    void Declaration() { out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"; }
    XmlWriter& Open(std::string_view tag);
    XmlWriter& Attr(std::string_view name, std::string_view value);
    XmlWriter& Attr(std::string_view name, long long value);
    XmlWriter& AttrNumber(std::string_view name, double value);
    XmlWriter& Text(std::string_view text);
    XmlWriter& Number(double value);
    // Appends markup as it stands (fixed, already valid XML).
    XmlWriter& Raw(std::string_view markup);
    XmlWriter& Close();  // the innermost open element
    std::string& Buffer() { return out_; }

  private:
    void EndStartTag();

    std::string& out_;
    std::vector<std::string_view> open_;
    bool startTagOpen_ = false;
};

// Shortest text that reads back as the same double.
void AppendNumber(std::string& out, double value);

}  // namespace corv
