// The source panel's model: the window over a long source, the line ends, and the
// commit that writes only into the source that was shown.

#include "views/SourceWindow.h"

#include <algorithm>

namespace views {

TSourceBounds SourceWindowBounds(int32_t offset, int32_t length) {
    TSourceBounds b;
    b.W0 = std::max<int32_t>(0, offset - SourceWindowBefore);
    b.W1 = std::min<int32_t>(length, b.W0 + SourceWindowLength);
    if (b.W0 > b.W1)  // an offset past the end: the window ends the source
        b.W0 = std::max<int32_t>(0, b.W1 - SourceWindowLength);
    return b;
}

// ---- Line ends ------------------------------------------------------------------------

TEditorText::TEditorText(std::string_view bytes) {
    text_.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            crlfAt_.push_back(static_cast<int32_t>(i));
            ends_.push_back(CrLf);
            text_ += '\n';
            ++i;
        } else if (c == '\n' || c == '\r') {
            ends_.push_back(c == '\n' ? Lf : Cr);
            text_ += '\n';
        } else {
            text_ += c;
        }
    }
}

int32_t TEditorText::EditorPosition(int32_t byteOffset) const {
    // Every CR of a pair before the offset was folded away.
    const auto before = std::lower_bound(crlfAt_.begin(), crlfAt_.end(), byteOffset);
    const auto folded = static_cast<int32_t>(before - crlfAt_.begin());
    const int32_t position = byteOffset - folded;
    return std::clamp<int32_t>(position, 0, static_cast<int32_t>(text_.size()));
}

namespace {

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

void AppendEnd(std::string& out, TEditorText::TLineEnd end) {
    switch (end) {
        case TEditorText::CrLf:
            out += "\r\n";
            break;
        case TEditorText::Lf:
            out += '\n';
            break;
        case TEditorText::Cr:
            out += '\r';
            break;
    }
}

}  // namespace

std::string TEditorText::Bytes(std::string_view edited) const {
    const std::vector<std::string_view> oldLines = SplitLines(text_);
    const std::vector<std::string_view> newLines = SplitLines(edited);
    const size_t n = oldLines.size();
    const size_t m = newLines.size();
    // The lines the edit left alone: a common run at the start and one at the end.
    size_t prefix = 0;
    while (prefix < n && prefix < m && oldLines[prefix] == newLines[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix &&
           oldLines[n - 1 - suffix] == newLines[m - 1 - suffix])
        ++suffix;
    const TLineEnd newEnd =
        std::find(ends_.begin(), ends_.end(), CrLf) != ends_.end() || ends_.empty() ? CrLf : Lf;

    std::string out;
    out.reserve(edited.size() + edited.size() / 16);
    for (size_t i = 0; i < m; ++i) {
        out += newLines[i];
        if (i + 1 == m)
            break;
        // Separator i stands between new lines i and i + 1.
        if (i < prefix)
            AppendEnd(out, ends_[i]);
        else if (i + 1 >= m - suffix)
            AppendEnd(out, ends_[i + n - m]);
        else
            AppendEnd(out, newEnd);
    }
    return out;
}

// ---- The window ---------------------------------------------------------------------

bool TSourceWindow::Show(catalogue::TPBObj& obj, int32_t offset, int32_t length) {
    if (!obj.Lib)  // only library entries have a source to edit
        return false;
    const std::string_view source = obj.SourceText();
    if (source.empty())
        return false;
    lib_ = obj.Lib;
    name_ = obj.Name;
    entryType_ = obj.EntryType;
    offset_ = offset;
    sourceLength_ = static_cast<int32_t>(source.size());
    windowed_ = sourceLength_ > SourceWholeLimit;
    if (windowed_) {
        const TSourceBounds b = SourceWindowBounds(offset, sourceLength_);
        w0_ = b.W0;
        w1_ = b.W1;
    } else {
        w0_ = 0;
        w1_ = sourceLength_;
    }
    shown_.assign(source.substr(static_cast<size_t>(w0_), static_cast<size_t>(w1_ - w0_)));
    editor_ = TEditorText(shown_);
    const int32_t start = std::clamp<int32_t>(offset - w0_, 0, w1_ - w0_);
    const int32_t end =
        std::clamp<int32_t>(offset - w0_ + std::max<int32_t>(length, 0), start, w1_ - w0_);
    selStart_ = editor_.EditorPosition(start);
    selLength_ = editor_.EditorPosition(end) - selStart_;
    return true;
}

catalogue::TPBObj* TSourceWindow::Object() const {
    if (!lib_)
        return nullptr;
    const int index = lib_->IndexOfEntry(name_, entryType_);
    return index < 0 ? nullptr : lib_->Entries[index];
}

void TSourceWindow::Clear() {
    lib_ = nullptr;
    name_.clear();
    shown_.clear();
    editor_ = TEditorText();
    offset_ = selStart_ = selLength_ = 0;
    windowed_ = false;
}

bool TSourceWindow::ShowsCurrentSource() const {
    const catalogue::TPBObj* obj = Object();
    if (!obj)
        return false;
    const std::string_view source =
        std::string_view(obj->Source).substr(0, obj->Source.empty() ? 0 : obj->Source.size() - 1);
    return static_cast<int32_t>(source.size()) == sourceLength_ &&
           source.substr(static_cast<size_t>(w0_), static_cast<size_t>(w1_ - w0_)) == shown_;
}

TSourceWindow::TCommit TSourceWindow::Commit(std::string_view editedText) {
    if (!lib_)
        return TCommit::Nothing;
    catalogue::TPBObj* obj = Object();
    if (!obj)
        return TCommit::ObjectGone;
    if (!ShowsCurrentSource())
        return TCommit::SourceChanged;
    const std::string_view source =
        std::string_view(obj->Source).substr(0, obj->Source.empty() ? 0 : obj->Source.size() - 1);

    const std::string edited = editor_.Bytes(editedText);
    std::string replaced;
    replaced.reserve(source.size() - shown_.size() + edited.size() + 1);
    replaced.append(source.substr(0, static_cast<size_t>(w0_)));
    replaced.append(edited);
    replaced.append(source.substr(static_cast<size_t>(w1_)));
    replaced.push_back('\0');
    obj->Source = std::move(replaced);
    obj->SourceLen = static_cast<int32_t>(obj->Source.size() - 1);
    obj->Modified = true;
    // The panel now shows what the source holds: later commits compare against it.
    sourceLength_ = obj->SourceLen;
    w1_ = w0_ + static_cast<int32_t>(edited.size());
    shown_ = edited;
    editor_ = TEditorText(shown_);
    return TCommit::Written;
}

}  // namespace views
