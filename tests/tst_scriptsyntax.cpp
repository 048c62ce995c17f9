// How command lines are taken apart: each keyword's argument form, the forms on awkward
// lines (missing quotes and blanks, tabs, NUL and high bytes, very long lines), the escape
// sets, and the small number rules the commands use.
#include "script/ScriptSyntax.h"

#include <QtTest>

#include <climits>

using namespace ScriptSyntax;

Q_DECLARE_METATYPE(ScriptSyntax::ArgumentForm)
Q_DECLARE_METATYPE(ScriptSyntax::EscapeSet)

namespace {

// A byte string from a literal, embedded NUL bytes included.
template <qsizetype N> QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

constexpr qsizetype LongLineLength = 10000;

// The argument a line gives once its keyword's form and escapes are applied, the way the
// executor reads it: the text, the quoted value or the tail.
std::optional<QByteArray> escapedArgumentOf(const QByteArray &line)
{
    const KeywordSyntax syntax = keywordSyntax(keywordOf(line));
    switch (syntax.form) {
    case ArgumentForm::Text: {
        const std::optional<QByteArray> text = argumentText(line);
        if (!text)
            return std::nullopt;
        return replaceEscapes(*text, syntax.escapes);
    }
    case ArgumentForm::BlankSeparated:
        return blankSeparatedArgument(line);
    case ArgumentForm::ValueAndTail: {
        const std::optional<ValueAndTail> parts = valueAndTail(line);
        if (!parts)
            return std::nullopt;
        return replaceEscapes(parts->value, syntax.escapes);
    }
    case ArgumentForm::Tail:
        return conditionalTail(line);
    case ArgumentForm::None:
    case ArgumentForm::Unknown:
        break;
    }
    return std::nullopt;
}

} // namespace

class tst_ScriptSyntax : public QObject
{
    Q_OBJECT
private slots:
    void keywordSyntax_data();
    void keywordSyntax();
    void unlistedKeywordsAreUnknown();
    void keywordOf_data();
    void keywordOf();
    void argumentText_data();
    void argumentText();
    void blankSeparatedArgument_data();
    void blankSeparatedArgument();
    void valueAndTail_data();
    void valueAndTail();
    void conditionalTail_data();
    void conditionalTail();
    void replaceEscapes_data();
    void replaceEscapes();
    void commandLines_data();
    void commandLines();
    void leadingInteger_data();
    void leadingInteger();
    void readVersion_data();
    void readVersion();
    void pauseRequests_data();
    void pauseRequests();
};

void tst_ScriptSyntax::keywordSyntax_data()
{
    QTest::addColumn<QByteArray>("keyword");
    QTest::addColumn<ArgumentForm>("form");
    QTest::addColumn<EscapeSet>("escapes");

    const auto text = ArgumentForm::Text;
    const auto blank = ArgumentForm::BlankSeparated;
    const auto valueTail = ArgumentForm::ValueAndTail;
    const auto tail = ArgumentForm::Tail;
    const auto none = ArgumentForm::None;
    const auto unknown = ArgumentForm::Unknown;
    const auto caretCr = EscapeSet::CaretMAsCarriageReturn;
    const auto caretBlank = EscapeSet::CaretMAsBlank;
    const auto backslashR = EscapeSet::BackslashR;
    const auto backslashRN = EscapeSet::BackslashRN;
    const auto noEscapes = EscapeSet::NoEscapes;

    QTest::newRow("_SC") << QByteArray("_SC") << text << caretCr;
    QTest::newRow("_SR") << QByteArray("_SR") << text << caretCr;
    QTest::newRow("_ST") << QByteArray("_ST") << text << caretCr;
    QTest::newRow("_TC") << QByteArray("_TC") << text << caretCr;
    QTest::newRow("_DM") << QByteArray("_DM") << text << caretCr;
    QTest::newRow("_DQ") << QByteArray("_DQ") << text << caretCr;
    QTest::newRow("_QC") << QByteArray("_QC") << text << caretBlank;
    QTest::newRow("_PC") << QByteArray("_PC") << text << noEscapes;
    QTest::newRow("_LC") << QByteArray("_LC") << text << noEscapes;
    QTest::newRow("_DY") << QByteArray("_DY") << blank << noEscapes;
    QTest::newRow("_LP") << QByteArray("_LP") << blank << noEscapes;
    QTest::newRow("_LF") << QByteArray("_LF") << blank << noEscapes;
    QTest::newRow("_LA") << QByteArray("_LA") << blank << noEscapes;
    QTest::newRow("_LV") << QByteArray("_LV") << blank << noEscapes;
    QTest::newRow("_LT") << QByteArray("_LT") << blank << noEscapes;
    QTest::newRow("_AG") << QByteArray("_AG") << valueTail << backslashR;
    QTest::newRow("_AL") << QByteArray("_AL") << valueTail << backslashR;
    QTest::newRow("_IG") << QByteArray("_IG") << valueTail << backslashR;
    QTest::newRow("_IL") << QByteArray("_IL") << valueTail << backslashR;
    QTest::newRow("_CE") << QByteArray("_CE") << valueTail << backslashRN;
    QTest::newRow("_CS") << QByteArray("_CS") << valueTail << backslashRN;
    QTest::newRow("_CN") << QByteArray("_CN") << valueTail << backslashRN;
    QTest::newRow("_DO") << QByteArray("_DO") << tail << noEscapes;
    QTest::newRow("_DC") << QByteArray("_DC") << tail << noEscapes;
    QTest::newRow("_WP") << QByteArray("_WP") << none << noEscapes;
    QTest::newRow("_FI") << QByteArray("_FI") << none << noEscapes;
    QTest::newRow("_LD") << QByteArray("_LD") << none << noEscapes;

    QTest::newRow("only the first three bytes count")
        << QByteArray("_SC \"VER\"") << text << caretCr;
    QTest::newRow("letters right after the keyword") << QByteArray("_SCX") << text << caretCr;
    QTest::newRow("error: small letters") << QByteArray("_sc") << unknown << noEscapes;
    QTest::newRow("error: mixed case") << QByteArray("_Sc") << unknown << noEscapes;
    QTest::newRow("error: no underscore") << QByteArray("SC ") << unknown << noEscapes;
    QTest::newRow("error: underscore later") << QByteArray(" _SC") << unknown << noEscapes;
    QTest::newRow("error: too short") << QByteArray("_S") << unknown << noEscapes;
    QTest::newRow("error: underscore alone") << QByteArray("_") << unknown << noEscapes;
    QTest::newRow("error: empty") << QByteArray() << unknown << noEscapes;
    QTest::newRow("error: unlisted keyword") << QByteArray("_XX") << unknown << noEscapes;
    QTest::newRow("error: NUL inside") << raw("_S\0C") << unknown << noEscapes;
    QTest::newRow("error: high byte") << QByteArray("_S\xc3") << unknown << noEscapes;
}

void tst_ScriptSyntax::keywordSyntax()
{
    QFETCH(QByteArray, keyword);
    QFETCH(ArgumentForm, form);
    QFETCH(EscapeSet, escapes);

    const KeywordSyntax syntax = ScriptSyntax::keywordSyntax(keyword);
    QCOMPARE(int(syntax.form), int(form));
    QCOMPARE(int(syntax.escapes), int(escapes));
}

void tst_ScriptSyntax::unlistedKeywordsAreUnknown()
{
    // Every three-byte keyword beginning with an underscore: only the listed ones are known.
    const QList<QByteArray> listed = {"_SC", "_SR", "_ST", "_TC", "_DM", "_DQ", "_QC",
                                      "_PC", "_LC", "_DY", "_LP", "_LF", "_LA", "_LV",
                                      "_LT", "_AG", "_AL", "_IG", "_IL", "_CE", "_CS",
                                      "_CN", "_DO", "_DC", "_WP", "_FI", "_LD"};
    int known = 0;
    for (int second = 0; second < 256; ++second) {
        for (int third = 0; third < 256; ++third) {
            QByteArray keyword("_");
            keyword.append(char(second));
            keyword.append(char(third));
            const bool isKnown = ScriptSyntax::keywordSyntax(keyword).form != ArgumentForm::Unknown;
            if (isKnown)
                ++known;
            if (isKnown != listed.contains(keyword))
                QFAIL(qPrintable(QString("wrong for %1").arg(QString::fromLatin1(keyword))));
        }
    }
    QCOMPARE(known, int(listed.size()));
}

void tst_ScriptSyntax::keywordOf_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("keyword");

    QTest::newRow("command line") << QByteArray("_SC \"VER\"") << QByteArray("_SC");
    QTest::newRow("exactly three bytes") << QByteArray("_FI") << QByteArray("_FI");
    QTest::newRow("letters right after") << QByteArray("_SCX") << QByteArray("_SC");
    QTest::newRow("two bytes") << QByteArray("_S") << QByteArray("_S");
    QTest::newRow("one byte") << QByteArray("_") << QByteArray("_");
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("NUL kept") << raw("_\0C \"x\"") << raw("_\0C");
    QTest::newRow("high byte kept") << QByteArray("_\xff\x80 x") << QByteArray("_\xff\x80");
    QTest::newRow("long line") << QByteArray("_LF ") + QByteArray(LongLineLength - 4, 'a')
                               << QByteArray("_LF");
}

void tst_ScriptSyntax::keywordOf()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, keyword);

    QCOMPARE(ScriptSyntax::keywordOf(line), keyword);
}

void tst_ScriptSyntax::argumentText_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("normal") << QByteArray("_SC \"VER\"") << true << QByteArray("VER");
    QTest::newRow("no closing quote drops the last byte")
        << QByteArray("_SC \"VER") << true << QByteArray("VE");
    QTest::newRow("bytes after the closing quote")
        << QByteArray("_SC \"A\" B") << true << QByteArray("A\" ");
    QTest::newRow("quote inside the text")
        << QByteArray("_SC \"say \"hi\"\"") << true << QByteArray("say \"hi\"");
    QTest::newRow("empty quotes") << QByteArray("_SC \"\"") << true << QByteArray("");
    QTest::newRow("first quote is the last byte") << QByteArray("_SC \"") << true << QByteArray();
    QTest::newRow("quote right after the keyword, last")
        << QByteArray("_SC\"") << true << QByteArray();
    QTest::newRow("one byte after the quote") << QByteArray("_SC \"A") << true << QByteArray();
    QTest::newRow("no blank before the quote")
        << QByteArray("_SC\"VER\"") << true << QByteArray("VER");
    QTest::newRow("blanks around")
        << QByteArray("_SC   \"  VER  \"  ") << true << QByteArray("  VER  \" ");
    QTest::newRow("tabs around") << QByteArray("_SC\t\"\tVER\t\"") << true << QByteArray("\tVER\t");
    QTest::newRow("semicolon inside") << QByteArray("_SC \"A;B\"") << true << QByteArray("A;B");
    QTest::newRow("semicolon before the quote")
        << QByteArray("_SC ;\"X\"") << true << QByteArray("X");
    QTest::newRow("escape left for later")
        << QByteArray("_SC \"VER^M\"") << true << QByteArray("VER^M");
    QTest::newRow("NUL inside") << raw("_SC \"A\0B\"") << true << raw("A\0B");
    QTest::newRow("high bytes inside")
        << QByteArray("_SC \"\xe9\x80\xff\"") << true << QByteArray("\xe9\x80\xff");
    QTest::newRow("10000-byte line")
        << QByteArray("_SC \"") + QByteArray(LongLineLength - 6, 'A') + '"' << true
        << QByteArray(LongLineLength - 6, 'A');
    QTest::newRow("error: no quote") << QByteArray("_SC VER") << false << QByteArray();
    QTest::newRow("error: keyword only") << QByteArray("_SC") << false << QByteArray();
    QTest::newRow("error: single quotes") << QByteArray("_SC 'VER'") << false << QByteArray();
    QTest::newRow("error: empty line") << QByteArray() << false << QByteArray();
    QTest::newRow("error: 10000 bytes without a quote")
        << QByteArray("_SC ") + QByteArray(LongLineLength - 4, 'A') << false << QByteArray();
}

void tst_ScriptSyntax::argumentText()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasArgument);
    QFETCH(QByteArray, text);

    const std::optional<QByteArray> argument = ScriptSyntax::argumentText(line);
    QCOMPARE(argument.has_value(), hasArgument);
    if (hasArgument)
        QCOMPARE(*argument, text);
}

void tst_ScriptSyntax::blankSeparatedArgument_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QByteArray>("argument");

    QTest::newRow("normal") << QByteArray("_DY 100") << true << QByteArray("100");
    QTest::newRow("leading blanks skipped, trailing kept")
        << QByteArray("_DY    100   ") << true << QByteArray("100   ");
    QTest::newRow("blanks inside kept")
        << QByteArray("_LF file name.bin") << true << QByteArray("file name.bin");
    QTest::newRow("only a blank") << QByteArray("_DY ") << true << QByteArray();
    QTest::newRow("only blanks") << QByteArray("_DY     ") << true << QByteArray();
    QTest::newRow("tab after the blank kept")
        << QByteArray("_DY \t100") << true << QByteArray("\t100");
    QTest::newRow("blank after a tab") << QByteArray("_LF\tx y") << true << QByteArray("y");
    QTest::newRow("quotes are ordinary")
        << QByteArray("_LF \"a b\"") << true << QByteArray("\"a b\"");
    QTest::newRow("semicolon inside") << QByteArray("_LF a;b ;c") << true << QByteArray("a;b ;c");
    QTest::newRow("NUL inside") << raw("_LF a\0b") << true << raw("a\0b");
    QTest::newRow("high bytes inside")
        << QByteArray("_LF \xe9t\xe9.bin") << true << QByteArray("\xe9t\xe9.bin");
    QTest::newRow("10000-byte line") << QByteArray("_LF ") + QByteArray(LongLineLength - 4, 'f')
                                     << true << QByteArray(LongLineLength - 4, 'f');
    QTest::newRow("error: no blank") << QByteArray("_DY100") << false << QByteArray();
    QTest::newRow("error: keyword only") << QByteArray("_DY") << false << QByteArray();
    QTest::newRow("error: tab is no separator") << QByteArray("_DY\t100") << false << QByteArray();
    QTest::newRow("error: NUL is no separator") << raw("_DY\0"
                                                       "100")
                                                << false << QByteArray();
    QTest::newRow("error: empty line") << QByteArray() << false << QByteArray();
    QTest::newRow("error: 10000 bytes without a blank")
        << QByteArray("_LF") + QByteArray(LongLineLength - 3, 'f') << false << QByteArray();
}

void tst_ScriptSyntax::blankSeparatedArgument()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasArgument);
    QFETCH(QByteArray, argument);

    const std::optional<QByteArray> found = ScriptSyntax::blankSeparatedArgument(line);
    QCOMPARE(found.has_value(), hasArgument);
    if (hasArgument)
        QCOMPARE(*found, argument);
}

void tst_ScriptSyntax::valueAndTail_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("tail");

    QTest::newRow("value and command tail") << QByteArray("_AG \"OK\" _SC \"X\"") << true
                                            << QByteArray("OK") << QByteArray("_SC \"X\"");
    QTest::newRow("no tail") << QByteArray("_AG \"OK\"") << true << QByteArray("OK")
                             << QByteArray();
    QTest::newRow("only blanks after the value")
        << QByteArray("_AG \"OK\"    ") << true << QByteArray("OK") << QByteArray();
    QTest::newRow("empty value") << QByteArray("_CE \"\" _FI") << true << QByteArray()
                                 << QByteArray("_FI");
    QTest::newRow("blanks around kept in the value, skipped before the tail")
        << QByteArray("_AG   \" a \"   tail  ") << true << QByteArray(" a ")
        << QByteArray("tail  ");
    QTest::newRow("tabs kept") << QByteArray("_AG\t\"\ta\t\" \ttail") << true << QByteArray("\ta\t")
                               << QByteArray("\ttail");
    QTest::newRow("tail right after the quote")
        << QByteArray("_IG\"x\"y") << true << QByteArray("x") << QByteArray("y");
    QTest::newRow("more quotes go to the tail")
        << QByteArray("_AG \"a\"b\"c\"") << true << QByteArray("a") << QByteArray("b\"c\"");
    QTest::newRow("semicolons inside")
        << QByteArray("_AL \"x;y\" ;z") << true << QByteArray("x;y") << QByteArray(";z");
    QTest::newRow("escapes left for later")
        << QByteArray("_CS \"a\\r\\n\" b") << true << QByteArray("a\\r\\n") << QByteArray("b");
    QTest::newRow("NUL inside") << raw("_AG \"A\0B\" \0t") << true << raw("A\0B") << raw("\0t");
    QTest::newRow("high bytes inside") << QByteArray("_AG \"\xe9\xff\" \x80") << true
                                       << QByteArray("\xe9\xff") << QByteArray("\x80");
    QTest::newRow("10000-byte line")
        << QByteArray("_AG \"") + QByteArray(LongLineLength - 10, 'v') + QByteArray("\" _FI")
        << true << QByteArray(LongLineLength - 10, 'v') << QByteArray("_FI");
    QTest::newRow("error: no quote")
        << QByteArray("_AG OK") << false << QByteArray() << QByteArray();
    QTest::newRow("error: keyword only")
        << QByteArray("_AG") << false << QByteArray() << QByteArray();
    QTest::newRow("error: only one quote")
        << QByteArray("_AG \"OK _FI") << false << QByteArray() << QByteArray();
    QTest::newRow("error: only quote is the last byte")
        << QByteArray("_AG \"") << false << QByteArray() << QByteArray();
    QTest::newRow("error: empty line") << QByteArray() << false << QByteArray() << QByteArray();
    QTest::newRow("error: 10000 bytes after one quote")
        << QByteArray("_AG \"") + QByteArray(LongLineLength - 5, 'v') << false << QByteArray()
        << QByteArray();
}

void tst_ScriptSyntax::valueAndTail()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasArgument);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, tail);

    const std::optional<ValueAndTail> parts = ScriptSyntax::valueAndTail(line);
    QCOMPARE(parts.has_value(), hasArgument);
    if (hasArgument) {
        QCOMPARE(parts->value, value);
        QCOMPARE(parts->tail, tail);
    }
}

void tst_ScriptSyntax::conditionalTail_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QByteArray>("tail");

    QTest::newRow("command tail") << QByteArray("_DO _SC \"X\"") << true << QByteArray("_SC \"X\"");
    QTest::newRow("leading blanks skipped, trailing kept")
        << QByteArray("_DC    _FI  ") << true << QByteArray("_FI  ");
    QTest::newRow("only a blank") << QByteArray("_DO ") << true << QByteArray();
    QTest::newRow("only blanks") << QByteArray("_DO    ") << true << QByteArray();
    QTest::newRow("tab after the blank kept")
        << QByteArray("_DO \t_FI") << true << QByteArray("\t_FI");
    QTest::newRow("semicolon inside") << QByteArray("_DC ;_FI") << true << QByteArray(";_FI");
    QTest::newRow("NUL inside") << raw("_DO _SC \"\0\"") << true << raw("_SC \"\0\"");
    QTest::newRow("high bytes inside")
        << QByteArray("_DO \xe9\xff") << true << QByteArray("\xe9\xff");
    QTest::newRow("10000-byte line") << QByteArray("_DO ") + QByteArray(LongLineLength - 4, 't')
                                     << true << QByteArray(LongLineLength - 4, 't');
    QTest::newRow("error: keyword only") << QByteArray("_DO") << false << QByteArray();
    QTest::newRow("error: no blank") << QByteArray("_DO_FI") << false << QByteArray();
    QTest::newRow("error: tab is no separator") << QByteArray("_DO\t_FI") << false << QByteArray();
    QTest::newRow("error: empty line") << QByteArray() << false << QByteArray();
}

void tst_ScriptSyntax::conditionalTail()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasArgument);
    QFETCH(QByteArray, tail);

    const std::optional<QByteArray> found = ScriptSyntax::conditionalTail(line);
    QCOMPARE(found.has_value(), hasArgument);
    if (hasArgument)
        QCOMPARE(*found, tail);
}

void tst_ScriptSyntax::replaceEscapes_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<EscapeSet>("escapes");
    QTest::addColumn<QByteArray>("replaced");

    const auto caretCr = EscapeSet::CaretMAsCarriageReturn;
    const auto caretBlank = EscapeSet::CaretMAsBlank;
    const auto backslashR = EscapeSet::BackslashR;
    const auto backslashRN = EscapeSet::BackslashRN;
    const auto noEscapes = EscapeSet::NoEscapes;

    QTest::newRow("^M: at the end") << QByteArray("VER^M") << caretCr << QByteArray("VER\r");
    QTest::newRow("^M: in the middle") << QByteArray("A^MB") << caretCr << QByteArray("A\rB");
    QTest::newRow("^M: alone") << QByteArray("^M") << caretCr << QByteArray("\r");
    QTest::newRow("^M: twice") << QByteArray("^M^M") << caretCr << QByteArray("\r\r");
    QTest::newRow("^M: doubled caret") << QByteArray("^^M") << caretCr << QByteArray("^\r");
    QTest::newRow("^M: M after") << QByteArray("^MM") << caretCr << QByteArray("\rM");
    QTest::newRow("^M: lone caret at the end") << QByteArray("A^") << caretCr << QByteArray("A^");
    QTest::newRow("^M: only a caret") << QByteArray("^") << caretCr << QByteArray("^");
    QTest::newRow("^M: small m kept") << QByteArray("^m") << caretCr << QByteArray("^m");
    QTest::newRow("^M: backslash escapes kept")
        << QByteArray("\\r\\n") << caretCr << QByteArray("\\r\\n");
    QTest::newRow("^M: NUL and high bytes") << raw("\0^M\x80") << caretCr << raw("\0\r\x80");
    QTest::newRow("^M: empty") << QByteArray() << caretCr << QByteArray();
    QTest::newRow("^M: 10000 bytes") << QByteArray("^M").repeated(LongLineLength / 2) << caretCr
                                     << QByteArray(LongLineLength / 2, '\r');

    QTest::newRow("^M blank: in the middle")
        << QByteArray("A^MB") << caretBlank << QByteArray("A B");
    QTest::newRow("^M blank: at the end") << QByteArray("AB^M") << caretBlank << QByteArray("AB ");
    QTest::newRow("^M blank: doubled caret") << QByteArray("^^M") << caretBlank << QByteArray("^ ");
    QTest::newRow("^M blank: lone caret at the end")
        << QByteArray("A^") << caretBlank << QByteArray("A^");
    QTest::newRow("^M blank: backslash escapes kept")
        << QByteArray("\\r\\n") << caretBlank << QByteArray("\\r\\n");

    QTest::newRow("\\r: at the end") << QByteArray("OK\\r") << backslashR << QByteArray("OK\r");
    QTest::newRow("\\r: in the middle") << QByteArray("a\\rb") << backslashR << QByteArray("a\rb");
    QTest::newRow("\\r: doubled backslash")
        << QByteArray("\\\\r") << backslashR << QByteArray("\\\r");
    QTest::newRow("\\r: lone backslash at the end")
        << QByteArray("a\\") << backslashR << QByteArray("a\\");
    QTest::newRow("\\r: capital R kept") << QByteArray("\\R") << backslashR << QByteArray("\\R");
    QTest::newRow("\\r: \\n kept") << QByteArray("a\\nb") << backslashR << QByteArray("a\\nb");
    QTest::newRow("\\r: ^M kept") << QByteArray("a^Mb") << backslashR << QByteArray("a^Mb");
    QTest::newRow("\\r: NUL and high bytes") << raw("\0\\r\xff") << backslashR << raw("\0\r\xff");

    QTest::newRow("\\r\\n: both") << QByteArray("a\\r\\nb") << backslashRN << QByteArray("a\r\nb");
    QTest::newRow("\\r\\n: \\n alone") << QByteArray("\\n") << backslashRN << QByteArray("\n");
    QTest::newRow("\\r\\n: doubled backslash before n")
        << QByteArray("\\\\n") << backslashRN << QByteArray("\\\n");
    QTest::newRow("\\r\\n: doubled backslash before r")
        << QByteArray("\\\\r") << backslashRN << QByteArray("\\\r");
    QTest::newRow("\\r\\n: lone backslash at the end")
        << QByteArray("ab\\") << backslashRN << QByteArray("ab\\");
    QTest::newRow("\\r\\n: other backslash pairs kept")
        << QByteArray("\\t\\N\\0") << backslashRN << QByteArray("\\t\\N\\0");
    QTest::newRow("\\r\\n: ^M kept") << QByteArray("^M") << backslashRN << QByteArray("^M");

    QTest::newRow("none: all kept")
        << QByteArray("^M\\r\\n^^M\\\\r") << noEscapes << QByteArray("^M\\r\\n^^M\\\\r");
    QTest::newRow("none: NUL and high bytes") << raw("\0\x80") << noEscapes << raw("\0\x80");
    QTest::newRow("none: empty") << QByteArray() << noEscapes << QByteArray();
}

void tst_ScriptSyntax::replaceEscapes()
{
    QFETCH(QByteArray, text);
    QFETCH(EscapeSet, escapes);
    QFETCH(QByteArray, replaced);

    QCOMPARE(ScriptSyntax::replaceEscapes(text, escapes), replaced);
}

void tst_ScriptSyntax::commandLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasArgument");
    QTest::addColumn<QByteArray>("argument");

    QTest::newRow("_SC plain") << QByteArray("_SC \"VER\"") << true << QByteArray("VER");
    QTest::newRow("_SC ^M in the middle")
        << QByteArray("_SC \"A^MB\"") << true << QByteArray("A\rB");
    QTest::newRow("_SC ^M last") << QByteArray("_SC \"VER^M\"") << true << QByteArray("VER\r");
    QTest::newRow("_SC ^M cut by the missing quote")
        << QByteArray("_SC \"VER^M") << true << QByteArray("VER^");
    QTest::newRow("_SC with letters right after the keyword")
        << QByteArray("_SCX \"VER\"") << true << QByteArray("VER");
    QTest::newRow("_DQ ^M") << QByteArray("_DQ \"Go?^M\"") << true << QByteArray("Go?\r");
    QTest::newRow("_QC ^M is a blank") << QByteArray("_QC \"A^MB\"") << true << QByteArray("A B");
    QTest::newRow("_PC keeps every escape")
        << QByteArray("_PC \"A^MB\\r\"") << true << QByteArray("A^MB\\r");
    QTest::newRow("_LC keeps every escape")
        << QByteArray("_LC \"\\n^M\"") << true << QByteArray("\\n^M");
    QTest::newRow("_AG \\r") << QByteArray("_AG \"OK\\r\" _FI") << true << QByteArray("OK\r");
    QTest::newRow("_AG keeps \\n") << QByteArray("_AG \"a\\nb\"") << true << QByteArray("a\\nb");
    QTest::newRow("_CE \\r\\n") << QByteArray("_CE \"a\\r\\n\" _FI") << true << QByteArray("a\r\n");
    QTest::newRow("_DY takes no escapes") << QByteArray("_DY ^M") << true << QByteArray("^M");
    QTest::newRow("_DO tail") << QByteArray("_DO _FI") << true << QByteArray("_FI");
    QTest::newRow("error: _sc is no command") << QByteArray("_sc \"VER\"") << false << QByteArray();
    QTest::newRow("error: _SC without a quote") << QByteArray("_SC VER") << false << QByteArray();
    QTest::newRow("error: _FI has none") << QByteArray("_FI \"x\"") << false << QByteArray();
}

void tst_ScriptSyntax::commandLines()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasArgument);
    QFETCH(QByteArray, argument);

    const std::optional<QByteArray> found = escapedArgumentOf(line);
    QCOMPARE(found.has_value(), hasArgument);
    if (hasArgument)
        QCOMPARE(*found, argument);
}

void tst_ScriptSyntax::leadingInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << QByteArray("100") << 100;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("many leading zeros") << QByteArray("000000000000000000000012") << 12;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("minus sign") << QByteArray("-5") << -5;
    QTest::newRow("letters after") << QByteArray("12abc") << 12;
    QTest::newRow("blank after") << QByteArray("5 6") << 5;
    QTest::newRow("full stop after") << QByteArray("1.5") << 1;
    QTest::newRow("NUL after") << raw("12\0"
                                      "34")
                               << 12;
    QTest::newRow("largest") << QByteArray("2147483647") << INT_MAX;
    QTest::newRow("smallest") << QByteArray("-2147483648") << INT_MIN;
    QTest::newRow("overflow saturates high") << QByteArray("2147483648") << INT_MAX;
    QTest::newRow("overflow saturates low") << QByteArray("-2147483649") << INT_MIN;
    QTest::newRow("far overflow high") << QByteArray("99999999999999999999999999") << INT_MAX;
    QTest::newRow("far overflow low") << QByteArray("-99999999999999999999999999") << INT_MIN;
    QTest::newRow("error: empty") << QByteArray() << 0;
    QTest::newRow("error: minus alone") << QByteArray("-") << 0;
    QTest::newRow("error: plus alone") << QByteArray("+") << 0;
    QTest::newRow("error: two signs") << QByteArray("--5") << 0;
    QTest::newRow("error: mixed signs") << QByteArray("+-5") << 0;
    QTest::newRow("error: leading blank") << QByteArray(" 5") << 0;
    QTest::newRow("error: leading tab") << QByteArray("\t5") << 0;
    QTest::newRow("error: letters first") << QByteArray("abc12") << 0;
    QTest::newRow("error: high byte first") << QByteArray("\xb9"
                                                          "1")
                                            << 0;
}

void tst_ScriptSyntax::leadingInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(int, value);

    QCOMPARE(ScriptSyntax::leadingInteger(text), value);
}

void tst_ScriptSyntax::readVersion_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("read");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");

    QTest::newRow("plain") << QByteArray("2.08") << true << 2 << 8;
    QTest::newRow("white space before both") << QByteArray(" 3. 4x") << true << 3 << 4;
    QTest::newRow("negative") << QByteArray("-1.-2") << true << -1 << -2;
    QTest::newRow("plus signs") << QByteArray("+2.+8") << true << 2 << 8;
    QTest::newRow("all C white space before") << QByteArray(" \t\n\v\f\r2.8") << true << 2 << 8;
    QTest::newRow("line end before the minor") << QByteArray("2.\r\n8") << true << 2 << 8;
    QTest::newRow("reply with prompt after") << QByteArray("2.08\r\n#") << true << 2 << 8;
    QTest::newRow("third number ignored") << QByteArray("2.08.15") << true << 2 << 8;
    QTest::newRow("limits") << QByteArray("2147483647.-2147483648") << true << INT_MAX << INT_MIN;
    QTest::newRow("error: words") << QByteArray("Unit A") << false << 0 << 0;
    QTest::newRow("error: no minor") << QByteArray("2.") << false << 0 << 0;
    QTest::newRow("error: no full stop") << QByteArray("2") << false << 0 << 0;
    QTest::newRow("error: letter for minor") << QByteArray("2.x") << false << 0 << 0;
    QTest::newRow("error: blank before the full stop") << QByteArray("2 .08") << false << 0 << 0;
    QTest::newRow("error: comma") << QByteArray("2,08") << false << 0 << 0;
    QTest::newRow("error: no major") << QByteArray(".5") << false << 0 << 0;
    QTest::newRow("error: sign without digits") << QByteArray("-.5") << false << 0 << 0;
    QTest::newRow("error: hexadecimal") << QByteArray("0x2.1") << false << 0 << 0;
    QTest::newRow("error: high byte first") << QByteArray("\xa0"
                                                          "2.1")
                                            << false << 0 << 0;
    QTest::newRow("error: NUL first") << raw("\0"
                                             "2.1")
                                      << false << 0 << 0;
    QTest::newRow("error: empty") << QByteArray() << false << 0 << 0;
    QTest::newRow("error: major overflow") << QByteArray("2147483648.1") << false << 0 << 0;
    QTest::newRow("error: minor overflow") << QByteArray("1.2147483648") << false << 0 << 0;
    QTest::newRow("error: negative overflow") << QByteArray("-2147483649.0") << false << 0 << 0;
    QTest::newRow("error: far overflow") << QByteArray("99999999999999999999.1") << false << 0 << 0;
}

void tst_ScriptSyntax::readVersion()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, read);
    QFETCH(int, major);
    QFETCH(int, minor);

    const std::optional<std::pair<int, int>> version = ScriptSyntax::readVersion(answer);
    QCOMPARE(version.has_value(), read);
    if (read) {
        QCOMPARE(version->first, major);
        QCOMPARE(version->second, minor);
    }
}

void tst_ScriptSyntax::pauseRequests_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("requests");

    QTest::newRow("ten") << 10 << 44;
    QTest::newRow("one") << 1 << 4;
    QTest::newRow("two") << 2 << 8;
    QTest::newRow("three rounds down") << 3 << 13;
    QTest::newRow("five") << 5 << 22;
    QTest::newRow("hundred") << 100 << 440;
    QTest::newRow("largest uncapped") << 488064465 << 2147483646;
    QTest::newRow("first capped") << 488064466 << INT_MAX;
    QTest::newRow("huge") << INT_MAX << INT_MAX;
    QTest::newRow("error: zero") << 0 << 0;
    QTest::newRow("error: negative") << -10 << 0;
    QTest::newRow("error: most negative") << INT_MIN << 0;
}

void tst_ScriptSyntax::pauseRequests()
{
    QFETCH(int, n);
    QFETCH(int, requests);

    QCOMPARE(ScriptSyntax::pauseRequests(n), requests);
}

QTEST_APPLESS_MAIN(tst_ScriptSyntax)
#include "tst_scriptsyntax.moc"
