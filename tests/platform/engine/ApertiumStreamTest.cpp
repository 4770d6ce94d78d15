#include "platform/engine/ApertiumStream.h"

#include <gtest/gtest.h>

using namespace tivela;
using namespace Qt::StringLiterals;

TEST(ApertiumStreamTest, EscapingKeepsTextOutOfTheStreamSyntax) {
    EXPECT_EQ(ApertiumStream::escape(u"a b"_s), u"a b"_s);
    EXPECT_EQ(ApertiumStream::escape(u"a  b\tc\r\nd"_s), u"a[  ]b[\t]c[\r\n]d"_s);
    EXPECT_EQ(ApertiumStream::escape(u" lead, trail "_s), u"[ ]lead, trail[ ]"_s);
    EXPECT_EQ(ApertiumStream::escape(u"<a1>x</a1>"_s), u"\\<a1\\>x\\<\\/a1\\>"_s);
    EXPECT_EQ(ApertiumStream::escape(u"5*3#~"_s), u"5[*]3[#][~]"_s);
    EXPECT_EQ(ApertiumStream::escape(QString::fromUtf16(u"a\0b \0 c", 7)), u"ab[  ]c"_s);
    EXPECT_EQ(ApertiumStream::request(u"Hi"_s, 7), QByteArray("[7]Hi.[]"));
    // Links, paths and code go in blocks of their own, in which only brackets are escaped.
    EXPECT_EQ(ApertiumStream::escape(u"Open (C:\\[a]\\b) now"_s),
              u"Open ([C:\\\\\\[a\\]\\\\b]) now"_s);
    // A paragraph break ends a sentence, as Apertium's text deformatter has it.
    EXPECT_EQ(ApertiumStream::escape(u"dog\n\ncat"_s), u"dog.[][\n\n]cat"_s);
    EXPECT_EQ(ApertiumStream::escape(u"a.\r\n\r\nb \n \nc"_s), u"a..[][\r\n\r\n]b[ \n \n]c"_s);
    EXPECT_EQ(ApertiumStream::escape(u"\n\nx\u2029y"_s), u".[][\n\n]x.[][\u2029]y"_s);
}

TEST(ApertiumStreamTest, AnswersLoseMarksAndNeedTheirNumberAndEnd) {
    EXPECT_EQ(ApertiumStream::unescape(u"*Hallo @Welt #x ~y"_s), u"Hallo Welt x y"_s);
    EXPECT_EQ(ApertiumStream::unescape(u"[*]\\@\\[\\][\n\n]\\\\"_s), u"*@[]\n\n\\"_s);
    EXPECT_EQ(ApertiumStream::answer("[3]Hola[ ].[]", 3), u"Hola "_s);
    EXPECT_EQ(ApertiumStream::answer("[3]Hola[ ]\\..[]", 3), u"Hola ."_s);
    EXPECT_EQ(ApertiumStream::answer("[3]Perro..[][\n\n]Gato.[]", 3), u"Perro.\n\nGato"_s);
    // The spaces of dropped words: beside another, at a line's start or at either end.
    EXPECT_EQ(ApertiumStream::answer("[3] Tengo  hambre. [\n\n] Anda [*]x .[]", 3),
              u"Tengo hambre.\n\nAnda *x"_s);
    EXPECT_EQ(ApertiumStream::answer("[4]Hola.[]", 3), std::nullopt);
    EXPECT_EQ(ApertiumStream::answer("Hola.[]", 3), std::nullopt);
    EXPECT_EQ(ApertiumStream::answer("[3]Hol", 3), std::nullopt);
    EXPECT_EQ(ApertiumStream::answer("", 3), std::nullopt);
}
