// The outline's text form: lines with leading tabs, read and written.

#include <istream>
#include <ostream>

#include "platform/Files.h"
#include "platform/LastError.h"
#include "views/CustomWinTree.h"

namespace views {

namespace {

constexpr const char* FileLoadError = "File load error";
constexpr const char* LineTooLong = "Line too long";
constexpr char CtrlZ = 26;

// Where the next line goes: the previous node read and its level in the text (leading
// tabs or blanks; top-level lines have none, though the first may have one).
struct ReadState {
    TWinTreeNode* previous;
    int level;
};

// The parent of a line at the given text level after the previous one.
TWinTreeNode* ParentFor(const ReadState& state, int level, TWinTreeNode* root) {
    if (level <= state.level && state.previous != root) {
        TWinTreeNode* n = state.previous;
        for (int up = state.level - level + 1; up > 0; --up) {
            n = n->Parent();
            if (!n)
                throw EWinTreeError(FileLoadError);
        }
        return n;
    }
    if (level > state.level + 1)
        throw EWinTreeError(FileLoadError);
    return state.previous;
}

// Adds one line (without its line end) and moves the state on to it.
TWinTreeNode* AddLine(TCustomWinTree& tree, ReadState& state, std::string_view line, void* data) {
    size_t tabs = 0;
    while (tabs < line.size() && (line[tabs] == '\t' || line[tabs] == ' '))
        ++tabs;
    const int level = static_cast<int>(tabs);
    TWinTreeNode* parent = ParentFor(state, level, tree.Root());
    TWinTreeNode* node = tree.AddChildNode(parent, line.substr(tabs), data);
    state.previous = node;
    state.level = level;
    return node;
}

// The state after the tree's last node, as if its lines had just been read.
ReadState StateAtEnd(const TCustomWinTree& tree) {
    TWinTreeNode* n = tree.Root();
    while (n->HasItems())
        n = n->LastChild();
    return {n, n->IsRoot() ? 0 : n->Level() - 1};
}

}  // namespace

std::string TWinTreeStrings::Get(int i) const {
    const TWinTreeNode* n = tree_.Items(i + 1);
    return std::string(static_cast<size_t>(n->Level() - 1), '\t') + n->Text();
}

void* TWinTreeStrings::Objects(int i) const {
    return tree_.Items(i + 1)->Data();
}

int TWinTreeStrings::AddObject(std::string_view line, void* data) {
    ReadState state = StateAtEnd(tree_);
    return AddLine(tree_, state, line, data)->Index() - 1;
}

void TWinTreeStrings::Read(std::string_view text) {
    TCustomWinTree::UpdateScope update(tree_);
    ReadState state = StateAtEnd(tree_);
    size_t pos = 0;
    while (pos < text.size()) {
        // A line must end within one buffer's worth of bytes from its start.
        const size_t limit = std::min(text.size(), pos + OutlineBufferSize);
        size_t end = pos;
        while (end < limit && text[end] != '\r' && text[end] != '\n' && text[end] != CtrlZ)
            ++end;
        if (end == limit) {
            if (limit - pos == OutlineBufferSize)
                throw EWinTreeError(LineTooLong);
            AddLine(tree_, state, text.substr(pos, end - pos), nullptr);  // last line
            return;
        }
        if (text[end] == CtrlZ) {
            if (end > pos)
                AddLine(tree_, state, text.substr(pos, end - pos), nullptr);
            return;
        }
        AddLine(tree_, state, text.substr(pos, end - pos), nullptr);
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
    }
}

std::string TWinTreeStrings::Text() const {
    std::string out;
    const TWinTreeNode* n = tree_.Root();
    // Pre-order walk without recursion: first child, else the next sibling of the
    // nearest ancestor that has one.
    for (;;) {
        if (n->HasItems()) {
            n = n->FirstChild();
        } else {
            while (!n->IsRoot() && !n->NextSibling())
                n = n->Parent();
            if (n->IsRoot())
                break;
            n = n->NextSibling();
        }
        out.append(static_cast<size_t>(n->Level() - 1), '\t');
        out += n->Text();
        out += "\r\n";
    }
    return out;
}

void TWinTreeStrings::SetText(std::string_view text) {
    TCustomWinTree::UpdateScope update(tree_);
    tree_.Clear();
    Read(text);
}

void TWinTreeStrings::LoadFromFile(std::string_view windowsPath) {
    const std::optional<std::string> bytes = platform::ReadFileBytes(windowsPath);
    if (!bytes)
        throw EWinTreeError("Cannot open file \"" + std::string(windowsPath) + "\". " +
                            platform::LastErrorText());
    SetText(*bytes);
}

void TWinTreeStrings::SaveToFile(std::string_view windowsPath) const {
    if (!platform::WriteFileBytes(windowsPath, Text()))
        throw EWinTreeError("Cannot create file \"" + std::string(windowsPath) + "\". " +
                            platform::LastErrorText());
}

void TWinTreeStrings::LoadFromStream(std::istream& in) {
    std::string bytes;
    char chunk[OutlineBufferSize];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        bytes.append(chunk, static_cast<size_t>(in.gcount()));
    SetText(bytes);
}

void TWinTreeStrings::SaveToStream(std::ostream& out) const {
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void TCustomWinTree::LoadFromFile(std::string_view windowsPath) {
    lines_->LoadFromFile(windowsPath);
}
void TCustomWinTree::SaveToFile(std::string_view windowsPath) const {
    lines_->SaveToFile(windowsPath);
}
void TCustomWinTree::LoadFromStream(std::istream& in) {
    lines_->LoadFromStream(in);
}
void TCustomWinTree::SaveToStream(std::ostream& out) const {
    lines_->SaveToStream(out);
}

}  // namespace views
