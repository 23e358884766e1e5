#include "orca/StructureCheck.h"
#include "platform/Ansi.h"
#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <utility>

namespace orca {
namespace {

// ---------------------------------------------------------------------------------------
// Characters and words

// Between words of PowerScript, line ends, form feeds, vertical tabs and NULs count as
// blanks too.
bool IsBlankOrBreak(unsigned char c) {
    return platform::IsBlank(static_cast<char>(c)) || c == '\r' || c == '\n' || c == '\f' ||
           c == '\v' || c == 0;
}

// PowerScript identifiers hold letters, digits and _ $ # % - (a menu item may be `m_-`);
// bytes above 127 are the code page's letters.
bool IsWordChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '#' || c == '%' || c == '-' || c >= 0x80;
}

// Compares with an all-lowercase literal, ASCII letters without regard to case.
bool Is(std::string_view word, std::string_view lower) {
    if (word.size() != lower.size())
        return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (platform::AsciiLower(word[i]) != lower[i])
            return false;
    }
    return true;
}

// Reads words of one statement's code (comments removed, each string reduced to a
// single '"').
class Words {
  public:
    explicit Words(std::string_view code) : code_(code) {}

    // The next word, or an empty view when the next non-blank character is not a word
    // character (the position then stays on that character).
    std::string_view Next() {
        SkipBlanks();
        size_t start = pos_;
        while (pos_ < code_.size() && IsWordChar(static_cast<unsigned char>(code_[pos_])))
            ++pos_;
        return code_.substr(start, pos_ - start);
    }
    // The next non-blank character without taking it, 0 at the end.
    char Peek() {
        SkipBlanks();
        return pos_ < code_.size() ? code_[pos_] : '\0';
    }
    void Take() {
        if (pos_ < code_.size())
            ++pos_;
    }
    // True when nothing but blanks and semicolons follow.
    bool RestEmpty() {
        for (size_t i = pos_; i < code_.size(); ++i) {
            if (!IsBlankOrBreak(static_cast<unsigned char>(code_[i])) && code_[i] != ';')
                return false;
        }
        return true;
    }
    size_t Pos() const { return pos_; }

  private:
    void SkipBlanks() {
        while (pos_ < code_.size() && IsBlankOrBreak(static_cast<unsigned char>(code_[pos_])))
            ++pos_;
    }
    std::string_view code_;
    size_t pos_ = 0;
};

bool IsCallType(std::string_view w) {
    return Is(w, "static") || Is(w, "dynamic") || Is(w, "trigger") || Is(w, "post");
}

// ---------------------------------------------------------------------------------------
// Statements

enum class Block { Forward, Type, Variables, Prototypes, On, Event, Function, Subroutine };

const char* BlockWord(Block b) {
    switch (b) {
        case Block::Forward:
            return "forward";
        case Block::Type:
            return "type";
        case Block::Variables:
            return "variables";
        case Block::Prototypes:
            return "prototypes";
        case Block::On:
            return "on";
        case Block::Event:
            return "event";
        case Block::Function:
            return "function";
        case Block::Subroutine:
            return "subroutine";
    }
    return "";
}

bool BlockFromWord(std::string_view w, Block& out) {
    static constexpr Block All[] = {Block::Forward,    Block::Type,      Block::Variables,
                                    Block::Prototypes, Block::On,        Block::Event,
                                    Block::Function,   Block::Subroutine};
    for (Block b : All) {
        if (Is(w, BlockWord(b))) {
            out = b;
            return true;
        }
    }
    return false;
}

bool IsBody(Block b) {
    return b == Block::On || b == Block::Event || b == Block::Function || b == Block::Subroutine;
}

enum class StmtKind {
    Other,     // anything the frame does not care about
    End,       // end <block>
    Open,      // forward, type ..., variables, prototypes headers
    On,        // on name[.create]
    Event,     // event ... (body header or declaration)
    Function,  // [access] function|subroutine ... (body header or declaration)
};

struct Statement {
    StmtKind kind = StmtKind::Other;
    Block block = Block::Forward;
    std::string label;          // how messages name the block: "event clicked"
    std::string_view name;      // global type name
    std::string_view ancestor;  // global type ancestor
    bool globalType = false;
    bool semicolon = false;          // a ';' follows the header (a body begins)
    bool external = false;           // function declared with LIBRARY or RPCFUNC
    bool eventHeaderInBody = false;  // an event line that cannot be a call statement
};

std::string Label(std::string_view keyword, std::string_view name) {
    std::string s(keyword);
    if (!name.empty()) {
        s += ' ';
        s += name;
    }
    return s;
}

// `function`/`subroutine` lines, after the keyword. Calls (`function post of_x()`) and
// calls without a call type (`function of_x()`) are not headers.
void ClassifyFunction(Words& w, std::string_view code, bool subroutine, bool withAccess,
                      Statement& st) {
    std::string_view name;
    if (subroutine) {
        name = w.Next();
        if (name.empty())
            return;
    } else {
        std::string_view returnType = w.Next();
        if (returnType.empty() || (!withAccess && IsCallType(returnType)))
            return;
        if (w.Peek() == '[') {  // an array return type
            w.Take();
            if (w.Peek() == ']')
                w.Take();
        }
        name = w.Next();
        if (name.empty())
            return;
    }
    st.kind = StmtKind::Function;
    st.block = subroutine ? Block::Subroutine : Block::Function;
    st.label = Label(BlockWord(st.block), name);
    // The header ends at the first ';'; a script may follow on the same line.
    size_t semicolon = code.find(';', w.Pos());
    st.semicolon = semicolon != std::string_view::npos;
    std::string_view header = code.substr(0, semicolon);
    size_t close = header.rfind(')');
    if (close != std::string_view::npos && close >= w.Pos()) {
        Words after(header.substr(close + 1));
        for (std::string_view word = after.Next(); !word.empty(); word = after.Next()) {
            if (Is(word, "library") || Is(word, "rpcfunc")) {
                st.external = true;
                break;
            }
        }
    }
}

// `event` lines, after the keyword. Inside a script an `event name(args)` line is a call
// of the object's own event; a header is `event name;`, `event type T name(...);`,
// `event a::b;`, or `event name(<typed arguments or none>);`.
void ClassifyEvent(Words& w, std::string_view code, Statement& st) {
    std::string_view first = w.Next();
    if (first.empty() || IsCallType(first))
        return;
    st.kind = StmtKind::Event;
    st.block = Block::Event;
    bool typed = Is(first, "type");
    std::string_view name = first;
    if (typed) {
        w.Next();  // the return type
        if (w.Peek() == '[') {
            w.Take();
            if (w.Peek() == ']')
                w.Take();
        }
        name = w.Next();
    }
    st.label = Label("event", name);
    if (w.Peek() == ':') {  // event cb_ok::clicked
        w.Take();
        if (w.Peek() == ':')
            w.Take();
        std::string_view member = w.Next();
        st.label += "::";
        st.label += member;
    }
    size_t rest = w.Pos();
    size_t semicolon = code.find(';', rest);
    st.semicolon = semicolon != std::string_view::npos;
    size_t open = code.substr(0, semicolon).find('(', rest);
    if (typed || open == std::string_view::npos) {
        st.eventHeaderInBody = true;
        return;
    }
    if (!st.semicolon)
        return;
    // The first argument: empty, or `[ref|readonly] type name`.
    Words args(code.substr(open + 1));
    if (args.Peek() == ')') {
        st.eventHeaderInBody = true;
        return;
    }
    std::string_view a = args.Next();
    if (Is(a, "ref") || Is(a, "readonly"))
        a = args.Next();
    std::string_view b = args.Next();
    st.eventHeaderInBody = !a.empty() && !b.empty();
}

Statement Classify(std::string_view code) {
    Statement st;
    Words w(code);
    std::string_view w1 = w.Next();
    if (w1.empty())
        return st;

    if (Is(w1, "end")) {
        Block b;
        if (BlockFromWord(w.Next(), b) && w.RestEmpty()) {
            st.kind = StmtKind::End;
            st.block = b;
        }
        return st;
    }
    if (Is(w1, "forward")) {
        std::string_view w2 = w.Next();
        if (w2.empty() && w.RestEmpty()) {
            st.kind = StmtKind::Open;
            st.block = Block::Forward;
            st.label = "forward";
        } else if (Is(w2, "prototypes") && w.RestEmpty()) {
            st.kind = StmtKind::Open;
            st.block = Block::Prototypes;
            st.label = "forward prototypes";
        }
        return st;
    }
    bool global = Is(w1, "global");
    if (global || Is(w1, "shared") || Is(w1, "type")) {
        std::string_view w2 = w.Next();
        if ((Is(w2, "variables") || Is(w2, "prototypes")) && w.RestEmpty()) {
            st.kind = StmtKind::Open;
            st.block = Is(w2, "variables") ? Block::Variables : Block::Prototypes;
            st.label = Label(w1, w2);
            return st;
        }
        if (global && Is(w2, "type")) {
            std::string_view name = w.Next();
            if (!name.empty() && Is(w.Next(), "from")) {
                st.kind = StmtKind::Open;
                st.block = Block::Type;
                st.globalType = true;
                st.name = name;
                st.ancestor = w.Next();
                st.label = Label("global type", name);
            }
            return st;
        }
        if (Is(w1, "type") && !w2.empty()) {
            if (Is(w.Next(), "from")) {
                st.kind = StmtKind::Open;
                st.block = Block::Type;
                st.label = Label("type", w2);
            }
            return st;
        }
        if (global && (Is(w2, "function") || Is(w2, "subroutine")))
            ClassifyFunction(w, code, Is(w2, "subroutine"), true, st);
        return st;
    }
    if (Is(w1, "public") || Is(w1, "protected") || Is(w1, "private")) {
        std::string_view w2 = w.Next();
        if (Is(w2, "function") || Is(w2, "subroutine"))
            ClassifyFunction(w, code, Is(w2, "subroutine"), true, st);
        return st;
    }
    if (Is(w1, "function") || Is(w1, "subroutine")) {
        ClassifyFunction(w, code, Is(w1, "subroutine"), false, st);
        return st;
    }
    if (Is(w1, "on")) {
        std::string_view target = w.Next();
        if (target.empty())
            return st;
        std::string label = Label("on", target);
        if (w.Peek() == '.') {  // on w_main.create
            w.Take();
            label += '.';
            label += w.Next();
        }
        // The header is all there is before a ';'; `ON a.id = b.id` of an embedded SQL
        // join is not one.
        char after = w.Peek();
        if (after == '\0' || after == ';') {
            st.kind = StmtKind::On;
            st.block = Block::On;
            st.label = std::move(label);
        }
        return st;
    }
    if (Is(w1, "event"))
        ClassifyEvent(w, code, st);
    return st;
}

// ---------------------------------------------------------------------------------------
// The checker

bool HasGlobalType(int entryType) {
    switch (entryType) {
        case PBORCA_APPLICATION:
        case PBORCA_FUNCTION:
        case PBORCA_MENU:
        case PBORCA_STRUCTURE:
        case PBORCA_USEROBJECT:
        case PBORCA_WINDOW:
        case PBORCA_PROXYOBJECT:
            return true;
        default:
            return false;
    }
}

// Walks physical lines; a line ends at CR LF, LF or a lone CR.
template <typename Fn>
void ForEachLine(std::string_view s, Fn&& fn) {
    size_t pos = 0;
    int lineNo = 0;
    while (pos < s.size()) {
        size_t end = pos;
        while (end < s.size() && s[end] != '\n' && s[end] != '\r')
            ++end;
        ++lineNo;
        if (!fn(s.substr(pos, end - pos), lineNo))
            return;
        if (end < s.size() && s[end] == '\r' && end + 1 < s.size() && s[end + 1] == '\n')
            ++end;
        pos = end + 1;
    }
}

int CountLines(std::string_view s) {
    int n = 0;
    ForEachLine(s, [&n](std::string_view, int) {
        ++n;
        return true;
    });
    return n;
}

class Checker {
  public:
    Checker(std::string_view entryName, int entryType)
        : entryName_(entryName), entryType_(entryType) {}

    std::vector<CompileProblem> Run(std::string_view source) {
        bool blank = true;
        for (char c : source) {
            if (!IsBlankOrBreak(static_cast<unsigned char>(c))) {
                blank = false;
                break;
            }
        }
        if (blank) {
            Add(MsgEmptySource, "the source is empty", 1, 1);
            return std::move(problems_);
        }
        if (entryType_ == PBORCA_DATAWINDOW)
            CheckDataWindow(source);
        else if (HasGlobalType(entryType_))  // the PowerScript objects
            CheckScript(source);
        return std::move(problems_);
    }

  private:
    struct Open {
        Block block;
        std::string label;
        int line;
    };

    bool Full() const { return problems_.size() > MaxProblems; }

    void Add(int number, std::string text, int line, int column) {
        if (Full())
            return;
        if (problems_.size() == MaxProblems) {
            problems_.push_back({ProblemError, MsgTooManyProblems,
                                 "further problems are not listed", line, column});
            return;
        }
        problems_.push_back({ProblemError, number, std::move(text), line, column});
    }

    // -- datawindows ---------------------------------------------------------------------

    static bool IsReleaseLine(std::string_view line) {
        Words w(line);
        if (!Is(w.Next(), "release"))
            return false;
        std::string_view number = w.Next();  // digits, maybe with a '.' part (12.5)
        if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        if (w.Peek() == '.') {
            w.Take();
            std::string_view minor = w.Next();
            if (minor.empty() || minor.find_first_not_of("0123456789") != std::string_view::npos)
                return false;
        }
        if (w.Peek() != ';')
            return false;
        w.Take();
        return w.RestEmpty();
    }

    void CheckDataWindow(std::string_view source) {
        int releaseLine = 0;
        bool sawRelease = false;
        bool sawDataWindow = false;
        ForEachLine(source, [&](std::string_view line, int lineNo) {
            Words w(line);
            if (!sawRelease) {
                if (w.Peek() == '\0')
                    return true;  // blank lines before it
                sawRelease = true;
                if (IsReleaseLine(line)) {
                    releaseLine = lineNo;
                } else {
                    Add(MsgMissingRelease,
                        "a datawindow source must begin with 'release N;' (the release of "
                        "PowerBuilder that wrote it)",
                        lineNo, 1);
                }
            }
            if (Is(w.Next(), "datawindow") && w.Peek() == '(') {
                sawDataWindow = true;
                return false;
            }
            return true;
        });
        if (!sawDataWindow) {
            Add(MsgMissingDataWindow,
                "a datawindow source must hold a 'datawindow(' line with the datawindow's "
                "properties",
                releaseLine > 0 ? releaseLine + 1 : 1, 1);
        }
    }

    // -- PowerScript objects -------------------------------------------------------------

    void CheckScript(std::string_view source) {
        ForEachLine(source, [this](std::string_view line, int lineNo) {
            ScanLine(line, lineNo);
            return !Full();
        });
        if (Full())
            return;
        int last = CountLines(source);
        if (!code_.empty() || commentDepth_ > 0)
            Finish();
        if (commentDepth_ > 0) {
            Add(MsgUnclosedComment,
                "the comment opened with '/*' at line " + std::to_string(commentLine_) +
                    " is not closed with '*/'",
                last, 1);
        }
        for (const Open& o : stack_) {
            Add(MsgUnclosedBlock,
                "'" + o.label + "' opened at line " + std::to_string(o.line) +
                    " is not closed: 'end " + BlockWord(o.block) +
                    "' expected before the end of the source",
                last, 1);
        }
        if (HasGlobalType(entryType_) && !sawOwnGlobalType_ && !sawForeignGlobalType_) {
            Add(MsgMissingGlobalType,
                "no 'global type " + std::string(entryName_) +
                    " from ...' line declares this object",
                1, 1);
        }
    }

    // One physical line: strips comments, reduces strings to a '"', and joins `&`
    // continuations (and lines inside a block comment) into one statement.
    void ScanLine(std::string_view line, int lineNo) {
        const size_t n = line.size();
        const size_t lineStart = code_.size();
        size_t i = 0;
        while (i < n) {
            char c = line[i];
            char next = i + 1 < n ? line[i + 1] : '\0';
            if (commentDepth_ > 0) {
                if (c == '/' && next == '*') {
                    ++commentDepth_;
                    i += 2;
                } else if (c == '*' && next == '/') {
                    --commentDepth_;
                    i += 2;
                    if (commentDepth_ == 0)
                        code_ += ' ';
                } else {
                    ++i;
                }
                continue;
            }
            if (quote_ != '\0') {
                if (c == '~')
                    i += 2;  // ~" ~' ~~ and the other escapes
                else {
                    if (c == quote_)
                        quote_ = '\0';
                    ++i;
                }
                continue;
            }
            if (c == '/' && next == '/')
                break;
            if (c == '/' && next == '*') {
                commentDepth_ = 1;
                commentLine_ = lineNo;
                i += 2;
                continue;
            }
            if (!IsBlankOrBreak(static_cast<unsigned char>(c)) && !started_) {
                started_ = true;
                startLine_ = lineNo;
                startColumn_ = static_cast<int>(i) + 1;
            }
            if (c == '"' || c == '\'') {
                quote_ = c;
                code_ += '"';
            } else {
                code_ += c;
            }
            ++i;
        }

        bool continued = false;
        if (quote_ != '\0') {
            // A string runs on to the next line only behind a '&' at the end of this one.
            size_t last = line.find_last_not_of(" \t");
            continued = last != std::string_view::npos && line[last] == '&';
            if (!continued)
                quote_ = '\0';
        } else if (commentDepth_ > 0) {
            continued = true;
        } else {
            while (code_.size() > lineStart &&
                   IsBlankOrBreak(static_cast<unsigned char>(code_.back())))
                code_.pop_back();
            if (code_.size() > lineStart && code_.back() == '&') {
                code_.pop_back();
                continued = true;
            }
        }
        if (continued)
            code_ += ' ';
        else
            Finish();
    }

    void Finish() {
        if (started_)
            Process(Classify(code_));
        code_.clear();
        started_ = false;
    }

    void ReportUnclosed(const Open& o) {
        Add(MsgUnclosedBlock,
            "'" + o.label + "' opened at line " + std::to_string(o.line) + " is not closed: 'end " +
                BlockWord(o.block) + "' expected before this line",
            startLine_, startColumn_);
    }

    void Push(const Statement& st) {
        if (st.globalType)
            CheckGlobalType(st);
        stack_.push_back({st.block, st.label, startLine_});
    }

    void CheckGlobalType(const Statement& st) {
        if (!HasGlobalType(entryType_))
            return;
        if (!entryName_.empty() && !platform::AsciiSameText(st.name, entryName_)) {
            sawForeignGlobalType_ = true;
            Add(MsgForeignGlobalType,
                "'global type " + std::string(st.name) +
                    "' declares another object: this entry is " + std::string(entryName_),
                startLine_, startColumn_);
            return;
        }
        sawOwnGlobalType_ = true;
        if (entryType_ == PBORCA_FUNCTION && !Is(st.ancestor, "function_object")) {
            Add(MsgWrongFunctionAncestor,
                "a global function is declared 'from function_object', not from '" +
                    std::string(st.ancestor) + "'",
                startLine_, startColumn_);
        }
    }

    bool InStack(Block b) const {
        for (const Open& o : stack_) {
            if (o.block == b)
                return true;
        }
        return false;
    }

    // What a header means inside the innermost open block.
    enum class Fit { Content, Push, Closes };

    static Fit FitIn(Block top, const Statement& st) {
        switch (top) {
            case Block::Forward:
                return st.kind == StmtKind::Open && st.block == Block::Type ? Fit::Push
                                                                            : Fit::Closes;
            case Block::Type:
                // Event declarations (`event ue_x ( )`, `event move pbm_move`) and the
                // functions of a native object (`public function long of_x (...)`).
                return (st.kind == StmtKind::Event || st.kind == StmtKind::Function) &&
                               !st.semicolon
                           ? Fit::Content
                           : Fit::Closes;
            case Block::Variables:
                return Fit::Closes;
            case Block::Prototypes:
                // Declarations: no script follows them.
                return st.kind == StmtKind::Function && (!st.semicolon || st.external)
                           ? Fit::Content
                           : Fit::Closes;
            case Block::On:
            case Block::Event:
            case Block::Function:
            case Block::Subroutine:
                // Inside a script an event line may be a call of the object's own event.
                return st.kind == StmtKind::Event && !st.eventHeaderInBody ? Fit::Content
                                                                           : Fit::Closes;
        }
        return Fit::Closes;
    }

    void Process(const Statement& st) {
        if (st.kind == StmtKind::Other)
            return;
        while (!stack_.empty()) {
            const Open& top = stack_.back();
            if (st.kind == StmtKind::End) {
                if (st.block == top.block) {
                    stack_.pop_back();
                    return;
                }
                if (IsBody(top.block)) {
                    Add(MsgMismatchedEnd,
                        "'end " + std::string(BlockWord(st.block)) + "' does not close '" +
                            top.label + "' opened at line " + std::to_string(top.line) + ": 'end " +
                            BlockWord(top.block) + "' expected",
                        startLine_, startColumn_);
                    stack_.pop_back();
                    return;
                }
                if (!InStack(st.block))
                    break;  // reported as a stray end below
                ReportUnclosed(top);
                stack_.pop_back();
                continue;
            }
            switch (FitIn(top.block, st)) {
                case Fit::Content:
                    return;
                case Fit::Push:
                    Push(st);
                    return;
                case Fit::Closes:
                    ReportUnclosed(top);
                    stack_.pop_back();
                    continue;
            }
        }
        // Outside every block, or an end that closes nothing open.
        switch (st.kind) {
            case StmtKind::End:
                Add(MsgStrayEnd,
                    "'end " + std::string(BlockWord(st.block)) + "' without an open " +
                        BlockWord(st.block) + " block",
                    startLine_, startColumn_);
                return;
            case StmtKind::Function:
                if (!st.external)  // external functions have no script
                    Push(st);
                return;
            case StmtKind::Open:
            case StmtKind::On:
            case StmtKind::Event:
                Push(st);
                return;
            case StmtKind::Other:
                return;
        }
    }

    std::string_view entryName_;
    int entryType_;
    std::vector<CompileProblem> problems_;

    std::vector<Open> stack_;
    bool sawOwnGlobalType_ = false;
    bool sawForeignGlobalType_ = false;

    // The statement being assembled.
    std::string code_;
    bool started_ = false;
    int startLine_ = 0;
    int startColumn_ = 0;
    // Lexical state carried from line to line.
    int commentDepth_ = 0;  // block comments nest
    int commentLine_ = 0;
    char quote_ = '\0';
};

}  // namespace

std::vector<CompileProblem> CheckSource(std::string_view source, std::string_view entryName,
                                        int entryType) {
    return Checker(entryName, entryType).Run(source);
}

}  // namespace orca
