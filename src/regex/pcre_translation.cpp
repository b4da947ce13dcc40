#include "regex/pcre_translation.h"

#include <cstdio>

namespace tg {
namespace {

void hexByte(std::string& out, std::size_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "\\x{%02zx}", value);
    out += text;
}

void byteClass(std::string& out, const ByteSet& bytes) {
    if (bytes.count() == 1) {
        for (std::size_t b = 0; b < 256; ++b)
            if (bytes.test(b)) hexByte(out, b);
        return;
    }
    out += '[';
    for (std::size_t b = 0; b < 256;) {
        if (!bytes.test(b)) {
            ++b;
            continue;
        }
        std::size_t end = b;
        while (end + 1 < 256 && bytes.test(end + 1)) ++end;
        hexByte(out, b);
        if (end > b) {
            out += '-';
            hexByte(out, end);
        }
        b = end + 1;
    }
    out += ']';
}

void write(std::string& out, const EreNode& node) {
    using Kind = EreNode::Kind;
    switch (node.kind) {
        case Kind::Atom:
            byteClass(out, node.bytes);
            return;
        case Kind::Concat:
            for (const EreNode& child : node.children) write(out, child);
            return;
        case Kind::Alternation:
            out += "(?:";
            for (std::size_t i = 0; i < node.children.size(); ++i) {
                if (i) out += '|';
                write(out, node.children[i]);
            }
            out += ')';
            return;
        case Kind::Group:
            out += '(';
            write(out, node.children[0]);
            out += ')';
            return;
        case Kind::Repeat: {
            // A single atom or a group repeats as it is: PCRE2 then sees "[^ ]+ " and makes the
            // repetition possessive, which a bracket around it would hide.
            const EreNode& body = node.children[0];
            const bool bare = body.kind == Kind::Atom || body.kind == Kind::Group;
            if (!bare) out += "(?:";
            write(out, body);
            if (!bare) out += ')';
            const bool unbounded = node.max == EreNode::kUnbounded;
            if (node.min == 0 && unbounded) {
                out += '*';
            } else if (node.min == 1 && unbounded) {
                out += '+';
            } else if (node.min == 0 && node.max == 1) {
                out += '?';
            } else {
                out += '{' + std::to_string(node.min);
                if (unbounded) {
                    out += ',';
                } else if (node.max != node.min) {
                    out += ',' + std::to_string(node.max);
                }
                out += '}';
            }
            return;
        }
        case Kind::Begin:
            out += "\\A";
            return;
        case Kind::End:
            out += "\\z";
            return;
    }
}

}  // namespace

std::string toPcre2(const EreNode& root) {
    std::string out;
    write(out, root);
    return out;
}

}  // namespace tg
