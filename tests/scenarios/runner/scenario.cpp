#include "scenario.h"

#include <cstdio>
#include <cstdlib>

namespace scenario {
namespace {

// Characters 0x80 to 0x9F of Windows' code page 1252, by their Unicode code points.
const unsigned CP1252_HIGH[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Scenario files are UTF-8; the program works with ANSI (code page 1252) bytes.
bool ToAnsi(const std::string& utf8, std::string* ansi)
{
    ansi->clear();
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        unsigned code = 0;
        size_t length = 1;
        if (c < 0x80) {
            code = c;
        } else if ((c & 0xE0) == 0xC0) {
            code = c & 0x1F;
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            code = c & 0x0F;
            length = 3;
        } else {
            return false;
        }
        if (i + length > utf8.size())
            return false;
        for (size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (next & 0x3F);
        }
        i += length;
        if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
            ansi->push_back(static_cast<char>(code));
            continue;
        }
        bool found = false;
        for (unsigned k = 0; k < 32; ++k) {
            if (CP1252_HIGH[k] != 0 && CP1252_HIGH[k] == code) {
                ansi->push_back(static_cast<char>(0x80 + k));
                found = true;
            }
        }
        if (!found)
            return false;
    }
    return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool StartsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

std::vector<std::string> SplitOn(const std::string& text, const std::string& separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t found = text.find(separator, start);
        if (found == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, found - start));
        start = found + separator.size();
    }
}

std::vector<std::string> Words(const std::string& text)
{
    std::vector<std::string> words;
    std::string word;
    for (char c : text) {
        if (IsBlank(c)) {
            if (!word.empty())
                words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

class Reader {
public:
    Reader(const std::map<std::string, std::string>& placeholders, Runner runner, Scenario* scenario)
        : placeholders_(placeholders), runner_(runner), s_(*scenario) {}

    bool Read(const std::string& text);
    std::string error;

private:
    enum class Block { None, World, Log, Status, Restart, After, BoxText };

    bool Fail(const std::string& reason)
    {
        error = "line " + std::to_string(line_) + ": " + reason;
        return false;
    }
    bool Expand(const std::string& text, std::string* expanded);
    bool Line(const std::string& line);
    bool Header(const std::string& key, const std::string& value);
    bool BlockLine(const std::string& text);
    bool ItemLine(const std::string& text, bool afterBlock);
    bool Target(Item* item, const std::string& target);
    bool Data(Item* item, const std::string& data);
    bool ValueData(Item* item, const std::string& data);
    bool Finish();

    std::map<std::string, std::string> placeholders_;
    Runner runner_;
    Scenario& s_;
    int line_ = 0;
    Block block_ = Block::None;
    std::string* boxText_ = nullptr;  // the box whose text "|" lines continue
    bool describing_ = true;
    bool sawFrom_ = false, sawExit_ = false, sawRestart_ = false, sawPlatform_ = false;
    bool sawLogBlock_ = false;
    // The item that "|" lines continue, and whether its text came inline.
    Item* textItem_ = nullptr;
    bool inlineText_ = false;
};

bool Reader::Expand(const std::string& text, std::string* expanded)
{
    expanded->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            size_t end = i + 1;
            while (end < text.size() && text[end] >= 'A' && text[end] <= 'Z')
                ++end;
            if (end > i + 1 && end < text.size() && text[end] == '%') {
                std::string name = text.substr(i + 1, end - i - 1);
                auto found = placeholders_.find(name);
                if (found == placeholders_.end())
                    return Fail("unknown placeholder %" + name + "%");
                *expanded += found->second;
                i = end;
                continue;
            }
        }
        // {COUNT*C}: the character C COUNT times, for names near the length limits.
        if (text[i] == '{') {
            size_t star = i + 1;
            while (star < text.size() && text[star] >= '0' && text[star] <= '9')
                ++star;
            if (star > i + 1 && star + 2 < text.size() && text[star] == '*' && text[star + 2] == '}') {
                long count = std::strtol(text.substr(i + 1, star - i - 1).c_str(), nullptr, 10);
                if (count > 100000)
                    return Fail("a repetition {COUNT*C} of more than 100000");
                *expanded += std::string(size_t(count), text[star + 1]);
                i = star + 2;
                continue;
            }
        }
        *expanded += text[i];
    }
    return true;
}

bool Reader::Read(const std::string& text)
{
    size_t position = 0;
    while (position <= text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos)
            end = text.size();
        std::string raw = text.substr(position, end - position);
        position = end + 1;
        ++line_;
        if (!raw.empty() && raw.back() == '\r')
            raw.pop_back();
        std::string ansi;
        if (!ToAnsi(raw, &ansi))
            return Fail("not UTF-8, or a character the ANSI code page 1252 does not have");
        std::string trimmed = Trim(ansi);
        if (trimmed.empty()) {
            if (describing_ && !s_.description.empty())
                describing_ = false;
            if (end == text.size())
                break;
            continue;
        }
        if (trimmed[0] == '#') {
            if (describing_) {
                std::string comment = Trim(trimmed.substr(1));
                s_.description += (s_.description.empty() ? "" : " ") + comment;
            }
            continue;
        }
        describing_ = false;
        std::string line;
        if (!Expand(ansi, &line) || !Line(line))
            return false;
        if (end == text.size())
            break;
    }
    return Finish();
}

// A line with a range {FIRST..LAST} stands for one line per number.
bool Reader::Line(const std::string& line)
{
    for (size_t open = line.find('{'); open != std::string::npos; open = line.find('{', open + 1)) {
        size_t dots = line.find("..", open);
        size_t close = line.find('}', open);
        if (dots == std::string::npos || close == std::string::npos || dots > close)
            continue;
        std::string first = line.substr(open + 1, dots - open - 1);
        std::string last = line.substr(dots + 2, close - dots - 2);
        if (first.empty() || last.empty() || first.find_first_not_of("0123456789") != std::string::npos ||
            last.find_first_not_of("0123456789") != std::string::npos)
            continue;
        long from = std::strtol(first.c_str(), nullptr, 10), to = std::strtol(last.c_str(), nullptr, 10);
        if (to < from || to - from > 100000)
            return Fail("a range {FIRST..LAST} needs FIRST <= LAST");
        for (long number = from; number <= to; ++number)
            if (!Line(line.substr(0, open) + std::to_string(number) + line.substr(close + 1)))
                return false;
        return true;
    }
    if (!IsBlank(line[0])) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            return Fail("expected \"name: value\" or an indented line of a block");
        block_ = Block::None;
        textItem_ = nullptr;
        return Header(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)));
    }
    return BlockLine(Trim(line));
}

bool Reader::Header(const std::string& key, const std::string& value)
{
    auto noValue = [&]() { return value.empty() ? true : Fail(key + ": takes an indented block, not a value"); };
    if (key == "platform") {
        sawPlatform_ = true;
        if (value == "nt")
            s_.family = Family::Nt;
        else if (value == "win98")
            s_.family = Family::Win98;
        else
            return Fail("platform: nt or win98");
    } else if (key == "program") {
        s_.program = value;
    } else if (key == "temp") {
        if (value.size() < 3 || value[1] != ':' || value[2] != '\\' || value.back() == '\\')
            return Fail("temp: a full path without a trailing backslash");
        s_.tempFolder = value;
        placeholders_["TEMP"] = value;
        s_.placeholders["TEMP"] = value;
    } else if (key == "from") {
        sawFrom_ = true;
        s_.from = value;
    } else if (key == "arguments") {
        s_.arguments = value;
    } else if (key == "answer") {
        if (value == "ok")
            s_.answer = Answer::Ok;
        else if (value == "cancel")
            s_.answer = Answer::Cancel;
        else
            return Fail("answer: ok or cancel");
    } else if (key == "close") {
        if (value == "button")
            s_.closeBy = CloseBy::Button;
        else if (value == "close box")
            s_.closeBy = CloseBy::CloseBox;
        else if (value == "escape")
            s_.closeBy = CloseBy::Escape;
        else
            return Fail("close: button, close box or escape");
    } else if (key == "relaunch") {
        s_.checkRelaunch = true;
        s_.relaunches = value != "none";
        s_.relaunchArgument = s_.relaunches ? value : "";
    } else if (key == "box") {
        std::vector<std::string> parts = SplitOn(value, " | ");
        if (parts.size() != 3)
            return Fail("box: caption | text | buttons");
        // The first box is the question or the error box; later ones are the progress window's.
        Box box = {Trim(parts[0]), Trim(parts[1]), Words(parts[2])};
        for (const std::string& button : box.buttons)
            if (button != "OK" && button != "Cancel" && (!s_.expectBox || (button != "Retry" && button != "Yes" && button != "No")))
                return Fail("box: the buttons are OK and Cancel, later also Retry, Yes and No");
        if (s_.expectBox) {
            s_.windowBoxes.push_back(box);
            boxText_ = &s_.windowBoxes.back().text;
        } else {
            s_.expectBox = true;
            s_.boxCaption = box.caption;
            s_.boxText = box.text;
            s_.boxButtons = box.buttons;
            boxText_ = &s_.boxText;
        }
        block_ = Block::BoxText;
    } else if (key == "window") {
        std::vector<std::string> parts = SplitOn(value, " | ");
        if (parts.size() != 2)
            return Fail("window: caption | close button text");
        s_.expectWindow = true;
        s_.windowCaption = Trim(parts[0]);
        s_.closeText = Trim(parts[1]);
    } else if (key == "exit") {
        sawExit_ = true;
        char* end = nullptr;
        long code = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0')
            return Fail("exit: a number");
        s_.exitCode = int(code);
    } else if (key == "log encoding") {
        if (value == "ansi")
            s_.logEncoding = Encoding::Ansi;
        else if (value == "utf-8")
            s_.logEncoding = Encoding::Utf8;
        else if (value == "utf-16")
            s_.logEncoding = Encoding::Utf16;
        else
            return Fail("log encoding: ansi, utf-8 or utf-16");
    } else if (key == "world") {
        block_ = Block::World;
        return noValue();
    } else if (key == "log") {
        block_ = Block::Log;
        sawLogBlock_ = true;
        return noValue();
    } else if (key == "status") {
        block_ = Block::Status;
        s_.checkStatus = true;
        return noValue();
    } else if (key == "restart") {
        sawRestart_ = true;
        if (value == "none")
            return true;
        block_ = Block::Restart;
        return noValue();
    } else if (key == "after") {
        block_ = Block::After;
        return noValue();
    } else {
        return Fail("unknown heading \"" + key + ":\"");
    }
    return true;
}

bool Reader::BlockLine(const std::string& text)
{
    switch (block_) {
    case Block::None:
        return Fail("an indented line outside a block");
    case Block::Log:
        s_.logText += text + "\r\n";
        return true;
    case Block::Status:
        s_.status.push_back(text);
        return true;
    case Block::BoxText:
        if (text[0] != '|')
            return Fail("a box's text goes on in \"|\" lines");
        *boxText_ += "\n" + (text.size() > 1 && text[1] == ' ' ? text.substr(2) : text.substr(1));
        return true;
    case Block::Restart: {
        // delete PATH via PendingFileRenameOperations | wininit.ini
        size_t via = text.rfind(" via ");
        if (!StartsWith(text, "delete ") || via == std::string::npos || via < 7)
            return Fail("restart: \"delete PATH via PendingFileRenameOperations\" or \"... via wininit.ini\"");
        Scheduled entry;
        entry.line = line_;
        entry.path = Trim(text.substr(7, via - 7));
        std::string how = Trim(text.substr(via + 5));
        if (how == "PendingFileRenameOperations")
            entry.via = Scheduled::Registry;
        else if (how == "wininit.ini")
            entry.via = Scheduled::Wininit;
        else
            return Fail("restart: via PendingFileRenameOperations or via wininit.ini");
        s_.restart.push_back(entry);
        return true;
    }
    case Block::World:
    case Block::After:
        if (text[0] == '|') {
            if (textItem_ == nullptr || textItem_->kind != Kind::File || inlineText_)
                return Fail("a \"|\" line continues the contents of a file given without \" = \"");
            std::string content = text.substr(1);
            // "|windows| ..." and "|wine| ...": a line only one of them gives.
            bool forThisRunner = true;
            for (Runner runner : {Runner::Simulation, Runner::Wine}) {
                std::string mark = runner == Runner::Wine ? "wine|" : "windows|";
                if (StartsWith(content, mark)) {
                    content = content.substr(mark.size());
                    forThisRunner = runner == runner_;
                }
            }
            if (!content.empty() && content[0] == ' ')
                content = content.substr(1);
            textItem_->hasText = true;
            if (forThisRunner)
                textItem_->text += content + "\r\n";
            return true;
        }
        return ItemLine(text, block_ == Block::After);
    }
    return false;
}

bool Reader::ItemLine(const std::string& text, bool afterBlock)
{
    Item item;
    item.line = line_;
    std::string rest = text;
    auto takeWord = [&rest]() {
        size_t end = 0;
        while (end < rest.size() && !IsBlank(rest[end]))
            ++end;
        std::string word = rest.substr(0, end);
        rest = Trim(rest.substr(end));
        return word;
    };
    if (afterBlock) {
        if (StartsWith(rest, "no ")) {
            item.present = false;
            takeWord();
        }
    } else {
        std::string fate = takeWord();
        if (fate == "gone")
            item.fate = Fate::Gone;
        else if (fate == "kept")
            item.fate = Fate::Kept;
        else if (fate == "set")
            item.fate = Fate::Set;
        else
            return Fail("a world line starts with gone, kept or set");
    }
    std::string kind = takeWord();
    std::string flags;
    size_t open = kind.find('(');
    if (open != std::string::npos) {
        if (kind.back() != ')')
            return Fail("flags are written kind(flag,flag)");
        flags = kind.substr(open + 1, kind.size() - open - 2);
        kind = kind.substr(0, open);
    }
    static const struct {
        const char* name;
        Kind kind;
    } kinds[] = {{"file", Kind::File},       {"dir", Kind::Dir},     {"key", Kind::Key},
                 {"value", Kind::Value},     {"ini", Kind::Ini},     {"program", Kind::Program},
                 {"log", Kind::Log},         {"probe", Kind::Probe}, {"pending", Kind::Pending}};
    bool known = false;
    for (const auto& candidate : kinds) {
        if (kind == candidate.name) {
            item.kind = candidate.kind;
            known = true;
        }
    }
    if (!known)
        return Fail("unknown kind \"" + kind + "\"");
    for (const std::string& flag : SplitOn(flags, ",")) {
        if (flags.empty())
            break;
        std::string name = Trim(flag);
        // A probe may be held too: another program's file that must never run.
        if (item.kind != Kind::File && !(item.kind == Kind::Probe && name == "held"))
            return Fail("only files take flags, and probes held");
        if (name == "readonly")
            item.readOnly = true;
        else if (name == "hidden")
            item.hidden = true;
        else if (name == "held")
            item.held = true;
        else if (name == "unterminated")
            item.unterminated = true;
        else if (name == "utf-8")
            item.encoding = Encoding::Utf8;
        else if (name == "utf-16")
            item.encoding = Encoding::Utf16;
        else
            return Fail("file flags: readonly, hidden, held, unterminated, utf-8, utf-16");
    }
    if (afterBlock && (item.kind == Kind::Program || item.kind == Kind::Log || item.kind == Kind::Probe ||
                       item.kind == Kind::Pending))
        return Fail("after: states files, folders, keys, values and INI entries");
    if (afterBlock && item.readOnly + item.hidden + item.held > 0)
        return Fail("after: takes no flags but an encoding and unterminated");

    size_t equals = rest.find(" = ");
    std::string target = Trim(equals == std::string::npos ? rest : rest.substr(0, equals));
    if (target.empty())
        return Fail("missing path");
    if (!Target(&item, target))
        return false;
    inlineText_ = equals != std::string::npos;
    if (inlineText_ && !Data(&item, rest.substr(equals + 3)))
        return false;
    if (!afterBlock && item.kind == Kind::Value && !inlineText_)
        return Fail("a value needs \" = type data\"");
    if (!afterBlock && item.kind == Kind::Ini && !inlineText_)
        return Fail("an INI entry needs \" = value\"");
    if (!item.present && inlineText_)
        return Fail("\"no ...\" takes no data");
    std::vector<Item>& list = afterBlock ? s_.after : s_.world;
    list.push_back(item);
    textItem_ = &list.back();
    return true;
}

bool Reader::Target(Item* item, const std::string& target)
{
    switch (item->kind) {
    case Kind::Key:
    case Kind::Value: {
        size_t slash = target.find('\\');
        if (slash == std::string::npos)
            return Fail("a registry path starts with HKCU\\, HKLM\\, HKCR\\ or HKU\\");
        item->root = target.substr(0, slash);
        if (item->root != "HKCU" && item->root != "HKLM" && item->root != "HKCR" && item->root != "HKU")
            return Fail("a registry path starts with HKCU\\, HKLM\\, HKCR\\ or HKU\\");
        std::string path = target.substr(slash + 1);
        if (item->kind == Kind::Key) {
            item->subkey = path;
        } else {
            // ROOT\key\name; ROOT\key\ is the key's default value, ROOT\name a value of the root key.
            size_t last = path.rfind('\\');
            item->subkey = last == std::string::npos ? std::string() : path.substr(0, last);
            item->valueName = last == std::string::npos ? path : path.substr(last + 1);
            if (item->subkey.empty() && item->valueName.empty())
                return Fail("the scenarios keep away from the root keys' default values");
            return true;
        }
        if (item->subkey.empty())
            return Fail("the scenarios keep away from the root keys themselves");
        return true;
    }
    case Kind::Ini: {
        std::vector<std::string> parts = SplitOn(target, ",");
        if (parts.size() < 3)
            return Fail("an INI entry is file,section,key");
        item->path = parts[0];
        item->section = parts[1];
        item->key = target.substr(parts[0].size() + parts[1].size() + 2);
        return true;
    }
    default:
        if (target.size() < 3 || target[1] != ':' || target[2] != '\\')
            return Fail("paths are full paths (X:\\...)");
        item->path = target;
        return true;
    }
}

bool Reader::Data(Item* item, const std::string& data)
{
    switch (item->kind) {
    case Kind::File:
    case Kind::Ini:
        item->hasText = true;
        item->text = data;
        return true;
    case Kind::Value:
        return ValueData(item, Trim(data));
    default:
        return Fail(std::string(KindName(item->kind)) + " takes no \" = \" data");
    }
}

bool Reader::ValueData(Item* item, const std::string& data)
{
    size_t space = data.find(' ');
    std::string type = data.substr(0, space);
    std::string rest = space == std::string::npos ? "" : data.substr(space + 1);
    item->hasText = true;
    if (type == "sz" || type == "expand") {
        item->valueType = type == "sz" ? TYPE_SZ : TYPE_EXPAND_SZ;
        item->valueBytes = rest + std::string(1, '\0');
    } else if (type == "multi") {
        item->valueType = TYPE_MULTI_SZ;
        item->valueBytes.clear();
        for (const std::string& part : SplitOn(rest, "|"))
            item->valueBytes += part + std::string(1, '\0');
        item->valueBytes += std::string(1, '\0');
    } else if (type == "dword") {
        char* end = nullptr;
        unsigned long number = std::strtoul(rest.c_str(), &end, 0);
        if (rest.empty() || *end != '\0')
            return Fail("dword takes a number");
        item->valueType = TYPE_DWORD;
        item->valueBytes.clear();
        for (int i = 0; i < 4; ++i)
            item->valueBytes += char((number >> (8 * i)) & 0xFF);
    } else if (type == "binary") {
        item->valueType = TYPE_BINARY;
        item->valueBytes.clear();
        for (const std::string& byte : Words(rest)) {
            char* end = nullptr;
            unsigned long number = std::strtoul(byte.c_str(), &end, 16);
            if (byte.size() != 2 || *end != '\0')
                return Fail("binary takes bytes in hex: 01 ff 20");
            item->valueBytes += char(number);
        }
    } else if (type == "none") {
        item->valueType = TYPE_NONE;
        item->valueBytes.clear();
    } else {
        return Fail("value types: sz, expand, multi, dword, binary, none");
    }
    return true;
}

bool Reader::Finish()
{
    line_ = 0;
    if (!sawPlatform_)
        return Fail("missing \"platform:\" (nt or win98)");
    if (!sawFrom_ || s_.from.empty())
        return Fail("missing \"from:\" (the folder the program is started from)");
    if (!sawExit_)
        return Fail("missing \"exit:\"");
    if (!sawRestart_)
        return Fail("missing \"restart:\" (a block, or none)");
    std::vector<const Item*> programs = s_.ItemsOf(Kind::Program);
    if (programs.empty())
        return Fail("the world needs a program item (the uninstaller's file)");
    if (s_.program.empty()) {
        s_.program = programs[0]->path;
    } else {
        bool found = false;
        for (const Item* item : programs)
            found = found || SameIgnoringCase(item->path, s_.program);
        if (!found)
            return Fail("program: names no program item of the world");
    }
    if (s_.ItemsOf(Kind::Log).size() > 1)
        return Fail("one log item at most");
    if (sawLogBlock_ && s_.ItemsOf(Kind::Log).empty())
        return Fail("a log: block needs a log item in the world");
    if (s_.checkStatus && !s_.expectWindow)
        return Fail("status: needs window: (the progress window's caption and button)");
    for (const Scheduled& entry : s_.restart) {
        bool right = (entry.via == Scheduled::Registry) == (s_.family == Family::Nt);
        if (!right) {
            line_ = entry.line;
            return Fail(s_.family == Family::Nt ? "the NT family schedules through PendingFileRenameOperations"
                                                : "the 95 family schedules through wininit.ini");
        }
    }
    return true;
}

}  // namespace

std::string Trim(const std::string& text)
{
    size_t start = 0, end = text.size();
    while (start < end && IsBlank(text[start]))
        ++start;
    while (end > start && IsBlank(text[end - 1]))
        --end;
    return text.substr(start, end - start);
}

bool SameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

const char* KindName(Kind kind)
{
    switch (kind) {
    case Kind::File: return "file";
    case Kind::Dir: return "dir";
    case Kind::Key: return "key";
    case Kind::Value: return "value";
    case Kind::Ini: return "ini";
    case Kind::Program: return "program";
    case Kind::Log: return "log";
    case Kind::Probe: return "probe";
    case Kind::Pending: return "pending";
    }
    return "?";
}

std::string TypeName(uint32_t type)
{
    switch (type) {
    case TYPE_NONE: return "none";
    case TYPE_SZ: return "sz";
    case TYPE_EXPAND_SZ: return "expand";
    case TYPE_BINARY: return "binary";
    case TYPE_DWORD: return "dword";
    case TYPE_MULTI_SZ: return "multi";
    }
    return "type " + std::to_string(type);
}

std::string Item::Describe() const
{
    switch (kind) {
    case Kind::File: return "file " + path;
    case Kind::Dir: return "folder " + path;
    case Kind::Key: return "registry key " + root + "\\" + subkey;
    case Kind::Value:
        return "registry value " + root + "\\" + (subkey.empty() ? "" : subkey + "\\") +
               (valueName.empty() ? "(default)" : valueName);
    case Kind::Ini: return "INI entry " + path + " [" + section + "] " + key;
    case Kind::Program: return "program file " + path;
    case Kind::Log: return "installation log " + path;
    case Kind::Probe: return "probe program " + path;
    case Kind::Pending: return "pending deletion of " + path;
    }
    return "?";
}

std::string Encoded(const std::string& ansi, Encoding encoding)
{
    if (encoding == Encoding::Ansi)
        return ansi;
    std::string bytes = encoding == Encoding::Utf8 ? "\xEF\xBB\xBF" : "\xFF\xFE";
    for (unsigned char c : ansi) {
        unsigned code = c >= 0x80 && c < 0xA0 && CP1252_HIGH[c - 0x80] ? CP1252_HIGH[c - 0x80] : c;
        if (encoding == Encoding::Utf16) {
            bytes += char(code & 0xFF);
            bytes += char(code >> 8);
        } else if (code < 0x80) {
            bytes += char(code);
        } else if (code < 0x800) {
            bytes += char(0xC0 | (code >> 6));
            bytes += char(0x80 | (code & 0x3F));
        } else {
            bytes += char(0xE0 | (code >> 12));
            bytes += char(0x80 | ((code >> 6) & 0x3F));
            bytes += char(0x80 | (code & 0x3F));
        }
    }
    return bytes;
}

std::string Item::Text() const
{
    if (unterminated && text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
        return text.substr(0, text.size() - 2);
    return text;
}

std::vector<const Item*> Scenario::ItemsOf(Kind kind) const
{
    std::vector<const Item*> items;
    for (const Item& item : world)
        if (item.kind == kind)
            items.push_back(&item);
    return items;
}

std::vector<const Item*> Scenario::HeldFiles() const
{
    std::vector<const Item*> items;
    for (const Item& item : world)
        if (item.held)
            items.push_back(&item);
    return items;
}

std::map<std::string, std::string> PlaceholdersFor(const std::string& name, const std::string& windowsFolder,
                                                   const std::string& tempFolder)
{
    std::string temp = tempFolder;
    while (!temp.empty() && temp.back() == '\\')
        temp.pop_back();
    return {
        {"APP", "C:\\Program Files\\Vorsil Scenarios\\" + name},
        {"OTHER", "C:\\Vorsil Scenarios\\" + name},
        {"KEY", "Software\\Vorsil Scenarios\\" + name},
        {"NAME", name},
        {"WINDIR", windowsFolder},
        {"TEMP", temp},
    };
}

bool Parse(const std::string& text, const std::string& name, const std::map<std::string, std::string>& placeholders,
           Runner runner, Scenario* scenario, std::string* error)
{
    *scenario = Scenario();
    scenario->name = name;
    scenario->placeholders = placeholders;
    Reader reader(placeholders, runner, scenario);
    if (reader.Read(text))
        return true;
    *error = reader.error;
    return false;
}

bool IsScenarioFile(const std::string& fileName)
{
    return fileName.size() > 4 && fileName.compare(fileName.size() - 4, 4, ".txt") == 0 &&
           !SameIgnoringCase(fileName, "CMakeLists.txt");
}

std::string NameOfFile(const std::string& path)
{
    size_t slash = path.find_last_of("\\/");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    if (file.size() > 4 && file.compare(file.size() - 4, 4, ".txt") == 0)
        file.resize(file.size() - 4);
    return file;
}

std::string ExpandShortPaths(const std::string& text,
                             const std::function<std::string(const std::string&)>& shortPath)
{
    std::string result;
    size_t position = 0;
    for (;;) {
        size_t open = text.find("{short ", position);
        size_t close = open == std::string::npos ? std::string::npos : text.find('}', open);
        if (close == std::string::npos)
            return result + text.substr(position);
        result += text.substr(position, open - position);
        std::string path = text.substr(open + 7, close - open - 7);
        std::string shortened = shortPath(path);
        result += shortened.empty() ? "{no short path for " + path + "}" : shortened;
        position = close + 1;
    }
}

std::string ArgumentsOf(const std::string& commandLine)
{
    size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == '"') {
        size_t close = commandLine.find('"', 1);
        i = close == std::string::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && !IsBlank(commandLine[i]))
            ++i;
    }
    while (i < commandLine.size() && IsBlank(commandLine[i]))
        ++i;
    return commandLine.substr(i);
}

std::string Quote(const std::string& text)
{
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '\n') {
            quoted += "\\n";
        } else if (c == '\r') {
            quoted += "\\r";
        } else if (c == '"') {
            quoted += "\\\"";
        } else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            quoted += hex;
        } else {
            quoted += char(c);
        }
    }
    return quoted + "\"";
}

std::string ForDisplay(const std::string& ansi)
{
    std::string utf8 = Encoded(ansi, Encoding::Utf8);
    return utf8.substr(3);  // without the byte order mark
}

}  // namespace scenario
