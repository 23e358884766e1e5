#pragma once
// The source panel's model: which object a panel shows, which stretch of its source,
// and how an edit made in the panel goes back into the source.
//
// A source of at most 30000 characters is shown whole; a longer one through a window of
// at most 20000 characters that starts 10000 before the point of interest. Source bytes
// are ANSI text whose lines usually end with CR LF; an editor ends every line with one
// separator. The text given to the editor has each CR LF, lone LF and lone CR as one
// '\n', and the line ends are remembered, so that a commit writes every line the user did
// not touch back with its own bytes and its own line end: a round trip through the panel
// changes nothing it was not asked to change.
//
// Each panel has its own TSourceWindow and commits only into the object it shows. The
// object is not trusted across the message loop (a refresh may free it): it is found
// again through its library, which stays for the whole run, by name and type, and an
// edit is written only when the source there is still the one that was shown. When it is
// not (the object was reloaded, refreshed, replaced or deleted meanwhile), nothing is
// written and the caller keeps the user's text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Orcactrl.h"

namespace views {

inline constexpr int32_t SourceWholeLimit = 30000;    // longest source shown whole
inline constexpr int32_t SourceWindowBefore = 10000;  // characters kept before the offset
inline constexpr int32_t SourceWindowLength = 20000;  // the window's length

// The stretch [W0, W1) of a source of length L shown for offset P.
struct TSourceBounds {
    int32_t W0 = 0;
    int32_t W1 = 0;
};
TSourceBounds SourceWindowBounds(int32_t offset, int32_t length);

// Bytes with their line ends folded to '\n' for an editor, and the way back.
class TEditorText {
  public:
    enum TLineEnd : unsigned char { CrLf, Lf, Cr };

    TEditorText() = default;
    explicit TEditorText(std::string_view bytes);

    // The text for the editor: the bytes with each line end as one '\n'.
    const std::string& Text() const { return text_; }
    // The editor position of a byte offset of the original bytes (an offset between the
    // CR and the LF of a pair is the position of the line end).
    int32_t EditorPosition(int32_t byteOffset) const;
    // The bytes of an edited editor text: lines the edit left alone keep their bytes and
    // their line ends; new line ends are CR LF when the original has any, else LF.
    std::string Bytes(std::string_view edited) const;

  private:
    std::string text_;
    std::vector<TLineEnd> ends_;   // one per '\n' of text_
    std::vector<int32_t> crlfAt_;  // byte offsets of the CR of each CR LF pair
};

class TSourceWindow {
  public:
    enum class TCommit {
        Nothing,        // nothing shown, or nothing edited
        Written,        // the edit is in the object's source, which is marked changed
        SourceChanged,  // the source is no longer the one shown: nothing written
        ObjectGone,     // the object left its library: nothing written
    };

    // Shows the object's source (exported first when needed) at offset with length
    // selected. False, changing nothing, when the object has no source text.
    bool Show(catalogue::TPBObj& obj, int32_t offset, int32_t length);
    // Writes an edited editor text back (see above).
    TCommit Commit(std::string_view editedText);
    // Forgets the object (the panel was emptied or the user's text was kept apart).
    void Clear();
    // The object shown still holds the source shown (same length, same bytes in the
    // window); false when nothing is shown or it left its library.
    bool ShowsCurrentSource() const;

    // The object shown, found again through its library; null when none is shown or it
    // left its library.
    catalogue::TPBObj* Object() const;
    // The object as it was shown (for messages; may be gone: do not read through it
    // unless Object() gives it).
    const std::string& ObjectName() const { return name_; }
    int32_t Offset() const { return offset_; }
    bool Windowed() const { return windowed_; }
    TSourceBounds Bounds() const { return {w0_, w1_}; }

    // What the editor shows, and its selection in editor positions.
    const std::string& Text() const { return editor_.Text(); }
    int32_t SelStart() const { return selStart_; }
    int32_t SelLength() const { return selLength_; }

  private:
    catalogue::TPBLib* lib_ = nullptr;
    std::string name_;
    int entryType_ = 0;
    int32_t offset_ = 0;
    bool windowed_ = false;
    int32_t w0_ = 0;
    int32_t w1_ = 0;
    int32_t sourceLength_ = 0;
    std::string shown_;  // the bytes shown, to see whether the source changed since
    TEditorText editor_;
    int32_t selStart_ = 0;
    int32_t selLength_ = 0;
};

}  // namespace views
