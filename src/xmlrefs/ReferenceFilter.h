#pragma once

#include <cstddef>
#include <string>
#include <string_view>

/*  The program's files carry every text exactly, control characters included:
    JUCE's XML writer writes a character below U+0020 (other than tab, line
    feed and carriage return) as a reference such as "&#1;", and U+FFFE and
    U+FFFF as "&#65534;" and "&#65535;". XML 1.1 allows those references; an
    XML 1.0 parser such as expat refuses the whole document for them. Plug-in
    names, vendors and folder names can hold such characters.

    So every document is passed through a ReferenceFilter on its way to the
    parser, and every value the parser hands back through restore():

    - the filter replaces each such reference in text and attribute values by
      a reference to a stand-in character from the end of the last private
      use plane (U+10FE01 to U+10FE1F for U+0001 to U+001F, U+10FE3E and
      U+10FE3F for U+FFFE and U+FFFF), which XML 1.0 accepts;
    - a stand-in character that a document holds for itself (written as a
      reference, or as UTF-8 in a UTF-8 document) is marked by a preceding
      U+10FE00, so that restore() leaves it as it was;
    - restore() turns the stand-ins back into the characters they stand for.

    Comments, processing instructions and CDATA sections are not rewritten (in
    CDATA "&#1;" is text, not a reference); a document type declaration is
    passed on untouched. "&#0;", references beyond U+10FFFF or to a
    surrogate, and raw control bytes still reach the parser as they were,
    which refuses them. A UTF-16 document is passed on untouched.

    No JUCE: the program and the update service both use it. One filter per
    document; not thread-safe, but any number may run on different threads.
*/
namespace xmlrefs
{
    class ReferenceFilter
    {
    public:
        enum class Encoding
        {
            asDeclared,   ///< the bytes are in the encoding the XML declaration names (UTF-8 when none)
            utf8          ///< the bytes are UTF-8 whatever the declaration says
        };

        explicit ReferenceFilter (Encoding encoding = Encoding::asDeclared);

        /** Appends the rewritten form of the next piece of the document to out.
            The few bytes of a reference or character that a piece ends in the
            middle of are held back until the next piece or finish().
        */
        void feed (std::string_view piece, std::string& out);

        /** Appends whatever is still held back; call once after the last piece. */
        void finish (std::string& out);

    private:
        enum class State { start, text, markup, bang, tag, attribute, comment, cdata, instruction, untouched };

        void take (char byte, std::string& out);
        void takeInState (char byte, std::string& out);
        void takeReferenceByte (char byte, std::string& out);
        void takeStandInByte (char byte, std::string& out);
        void endReference (std::string& out);
        void noteDeclaration (char byte);
        void endsAfterTwo (char closer, char byte);

        bool rawBytesAreUtf8() const noexcept;

        State state = State::start;
        State returnState = State::text;   // where a held-back reference or character was met
        std::string held;                  // a reference ("&#...") or a UTF-8 sequence being looked at
        bool holdingReference = false;
        char quote = 0;
        int run = 0;                       // "-" in a comment, "]" in a CDATA section, "?" in an instruction
        std::string bangText;
        std::string declaration;
        bool declarationDone = false;
        Encoding encoding;
        bool declaredUtf8 = true;
    };

    /** Puts back the characters a ReferenceFilter replaced in one value (text or
        attribute) that the parser read from the filtered document, in UTF-8.
    */
    void restore (std::string& value);

    /** True when a value the parser handed back may hold stand-ins (a quick test). */
    bool mayHoldStandIns (std::string_view value) noexcept;
}
