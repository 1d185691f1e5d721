#include "support/properties.h"
#include "support/testcore.h"

#include "base/numformat.h"

#include <QRandomGenerator>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The columns of a conversion's data table: the text, whether it converts,
// and the value it converts to.
template <typename T>
void addConversionColumns()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<T>("value");
}

// A valid text gives its value; any other raises ConversionError with
// "'<text>' is not a valid <kind> value".
template <typename T>
void checkConversion(T (*convert)(const QString &), const char *kind)
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(T, value);
    if (valid) {
        QCOMPARE(convert(text), value);
        return;
    }
    try {
        convert(text);
        QFAIL("no error");
    } catch (const ConversionError &e) {
        QCOMPARE(QString::fromUtf8(e.what()), "'" + text + "' is not a valid " + kind + " value");
    }
}

} // namespace

class NumFormatTest : public QObject
{
    Q_OBJECT
private slots:
    void formatGeneral_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");

        QTest::newRow("zero") << 0.0 << "0";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("one") << 1.0 << "1";
        QTest::newRow("minus one") << -1.0 << "-1";
        QTest::newRow("amount without cents") << 33720.0 << "33720";
        QTest::newRow("amount with cents") << 1234.5 << "1234.5";
        QTest::newRow("price") << 11.24 << "11.24";
        QTest::newRow("binary fraction noise") << 0.1 + 0.2 << "0.3";
        QTest::newRow("one third") << 1.0 / 3.0 << "0.333333333333333";
        QTest::newRow("two thirds rounds up") << 2.0 / 3.0 << "0.666666666666667";
        QTest::newRow("15 significant digits") << 123456.7890123456789 << "123456.789012346";
        QTest::newRow("no grouping") << 1234567.0 << "1234567";
        QTest::newRow("15-digit whole part") << 123456789012345.0 << "123456789012345";
        QTest::newRow("1E14 in full") << 1e14 << "100000000000000";
        QTest::newRow("16-digit whole part") << 1234567890123456.0 << "1.23456789012346E15";
        QTest::newRow("rounds up to 16 digits") << 999999999999999.9 << "1E15";
        QTest::newRow("1E15") << 1e15 << "1E15";
        QTest::newRow("1.5E20") << 1.5e20 << "1.5E20";
        QTest::newRow("negative large") << -2.5e30 << "-2.5E30";
        QTest::newRow("1E100") << 1e100 << "1E100";
        QTest::newRow("0.0001 in full") << 0.0001 << "0.0001";
        QTest::newRow("small in full") << 0.00012345 << "0.00012345";
        QTest::newRow("1E-5") << 0.00001 << "1E-5";
        QTest::newRow("-2.5E-7") << -2.5e-7 << "-2.5E-7";
        QTest::newRow("just below 0.0001") << 9.99999999999999e-5 << "9.99999999999999E-5";
        QTest::newRow("-1E-100") << -1e-100 << "-1E-100";
        QTest::newRow("largest") << std::numeric_limits<double>::max() << "1.79769313486232E308";
        QTest::newRow("below the smallest normal") << 3.30974576149051E-320 << "3.30974576149051E-320";
        QTest::newRow("smallest") << -std::numeric_limits<double>::denorm_min() << "-4.94065645841247E-324";
    }

    void formatGeneral()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(::formatGeneral(value), text);
    }

    // Against the C library's "%.15G" over many values of every magnitude.
    void formatGeneralMatchesPrintf()
    {
        const char point = *std::localeconv()->decimal_point;
        const auto reference = [point](double value) {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.15G", value);
            QString text = QString::fromLatin1(buffer);
            text.replace(QLatin1Char(point), QLatin1Char('.'));
            const qsizetype e = text.indexOf('E');
            if (e >= 0) {
                QString exponent = text.mid(e + 1);
                const bool negative = exponent.startsWith('-');
                exponent.remove(0, 1);
                while (exponent.size() > 1 && exponent.startsWith('0'))
                    exponent.remove(0, 1);
                text = text.left(e + 1) + (negative ? "-" : "") + exponent;
            }
            return text == "-0" ? QString("0") : text;
        };
        QRandomGenerator random(20261208);
        for (int i = 0; i < 200000; ++i) {
            double value;
            switch (i % 4) {
            case 0: { // any finite bit pattern
                quint64 bits = random.generate64();
                std::memcpy(&value, &bits, sizeof value);
                if (!std::isfinite(value))
                    continue;
                break;
            }
            case 1: // amounts in cents
                value = double(random.bounded(1000000000)) / 100.0;
                break;
            case 2: // prices with three decimals, either sign
                value = double(qint64(random.bounded(20000000)) - 10000000) / 1000.0;
                break;
            default: // around the notation limits
                value = std::ldexp(random.generateDouble() + 0.5, int(random.bounded(120)) - 60);
                break;
            }
            const QString expected = reference(value);
            if (::formatGeneral(value) != expected)
                QFAIL(qPrintable(QString("%1: %2 instead of %3").arg(value, 0, 'g', 17).arg(::formatGeneral(value), expected)));
        }
    }

    // Property: on random doubles of every kind, the text is the value's
    // "%.14e" (15 significant digits) laid out by the format's rules.
    void formatGeneralMatchesRoundingTo15Digits()
    {
        QRandomGenerator random(20261209);
        for (int i = 0; i < 150000; ++i) {
            double value;
            quint64 bits = random.generate64();
            switch (i % 3) {
            case 0: // any bit pattern
                break;
            case 1: // below the smallest normal
                bits &= 0x800fffffffffffffULL;
                break;
            default: // the magnitudes where the notation changes
                bits = (bits & 0x800fffffffffffffULL) | (quint64(1023 - 20 + random.bounded(75)) << 52);
                break;
            }
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value))
                continue;
            const QString expected = model::roundedTo15Digits(value);
            if (::formatGeneral(value) != expected)
                QFAIL(qPrintable(QString("%1: %2 instead of %3").arg(value, 0, 'g', 17).arg(::formatGeneral(value), expected)));
        }
    }

    // The exact decimal scaled / 10^scale in the same format.
    void formatGeneralDecimal_data()
    {
        QTest::addColumn<qint64>("scaled");
        QTest::addColumn<int>("scale");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << 2 << "0";
        QTest::newRow("cents") << qint64(133475) << 2 << "1334.75";
        QTest::newRow("trailing zeros") << qint64(-550) << 2 << "-5.5";
        QTest::newRow("whole") << qint64(30000) << 2 << "300";
        QTest::newRow("15 digits") << qint64(49983225167583) << 2 << "499832251675.83";
        QTest::newRow("rounded to 15 digits") << qint64(12345678901234567) << 2 << "123456789012346";
        QTest::newRow("rounds up to 1E15") << qint64(99999999999999999) << 2 << "1E15";
        QTest::newRow("below 0.0001") << qint64(5) << 5 << "5E-5";
        QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << 0 << "-9.22337203685478E18";
        QTest::newRow("scale 18") << qint64(1) << 18 << "1E-18";
    }

    void formatGeneralDecimal()
    {
        QFETCH(qint64, scaled);
        QFETCH(int, scale);
        QFETCH(QString, text);
        QCOMPARE(::formatGeneralDecimal(scaled, scale), text);
    }

    // Decimal texts as drivers give them, read exactly at the column's scale.
    void parseScaledDecimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("scale");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qint64>("scaled");
        QTest::newRow("amount") << "-1234.50" << 2 << true << qint64(-123450);
        QTest::newRow("no whole part") << ".5" << 2 << true << qint64(50);
        QTest::newRow("no point") << "7" << 2 << true << qint64(700);
        QTest::newRow("plus") << "+1.5" << 3 << true << qint64(1500);
        QTest::newRow("zeros beyond the scale") << "1.500" << 2 << true << qint64(150);
        QTest::newRow("largest") << "92233720368547758.07" << 2 << true << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << "-92233720368547758.08" << 2 << true << std::numeric_limits<qint64>::min();
        QTest::newRow("too large") << "92233720368547758.08" << 2 << false << qint64(0);
        QTest::newRow("digits beyond the scale") << "1.005" << 2 << false << qint64(0);
        QTest::newRow("empty") << "" << 2 << false << qint64(0);
        QTest::newRow("sign only") << "-" << 2 << false << qint64(0);
        QTest::newRow("point only") << "." << 2 << false << qint64(0);
        QTest::newRow("two points") << "1.2.3" << 2 << false << qint64(0);
        QTest::newRow("exponent") << "1e2" << 2 << false << qint64(0);
    }

    void parseScaledDecimal()
    {
        QFETCH(QString, text);
        QFETCH(int, scale);
        QFETCH(bool, valid);
        QFETCH(qint64, scaled);
        qint64 value = -1;
        QCOMPARE(::parseScaledDecimal(text, scale, &value), valid);
        if (valid)
            QCOMPARE(value, scaled);
    }

    void textToInteger_data()
    {
        addConversionColumns<qint64>();
        QTest::newRow("zero") << "0" << true << qint64(0);
        QTest::newRow("quantity") << "100" << true << qint64(100);
        QTest::newRow("leading zeros") << "007" << true << qint64(7);
        QTest::newRow("minus") << "-123" << true << qint64(-123);
        QTest::newRow("plus") << "+5" << true << qint64(5);
        QTest::newRow("largest") << "9223372036854775807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << "-9223372036854775808" << true << std::numeric_limits<qint64>::min();
        QTest::newRow("too large") << "9223372036854775808" << false << qint64(0);
        QTest::newRow("too small") << "-9223372036854775809" << false << qint64(0);
        QTest::newRow("empty") << "" << false << qint64(0);
        QTest::newRow("sign only") << "-" << false << qint64(0);
        QTest::newRow("two signs") << "--1" << false << qint64(0);
        QTest::newRow("decimal") << "1.0" << false << qint64(0);
        QTest::newRow("exponent") << "1e3" << false << qint64(0);
        QTest::newRow("leading blank") << " 1" << false << qint64(0);
        QTest::newRow("trailing blank") << "1 " << false << qint64(0);
        QTest::newRow("letters") << "abc" << false << qint64(0);
        QTest::newRow("hex") << "0x10" << false << qint64(0);
        QTest::newRow("full-width digits") << QString::fromUtf8("１２") << false << qint64(0);
    }

    void textToInteger()
    {
        checkConversion<qint64>(::textToInteger, "integer");
    }

    void textToFloat_data()
    {
        addConversionColumns<double>();
        QTest::newRow("integer") << "1" << true << 1.0;
        QTest::newRow("amount") << "33720.5" << true << 33720.5;
        QTest::newRow("minus") << "-1.5" << true << -1.5;
        QTest::newRow("plus") << "+2.25" << true << 2.25;
        QTest::newRow("no whole part") << ".5" << true << 0.5;
        QTest::newRow("no fraction digits") << "5." << true << 5.0;
        QTest::newRow("exponent") << "1e3" << true << 1000.0;
        QTest::newRow("capital exponent") << "1E-2" << true << 0.01;
        QTest::newRow("signed exponent") << "1.5e+2" << true << 150.0;
        QTest::newRow("underflow is zero") << "1e-400" << true << 0.0;
        QTest::newRow("overflow") << "1e400" << false << 0.0;
        QTest::newRow("long overflow") << "1" + QString(400, '0') << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        QTest::newRow("exponent only") << "e5" << false << 0.0;
        QTest::newRow("exponent without digits") << "1e" << false << 0.0;
        QTest::newRow("comma separator") << "1,5" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
        QTest::newRow("leading blank") << " 1" << false << 0.0;
        QTest::newRow("trailing blank") << "1 " << false << 0.0;
        QTest::newRow("inf") << "inf" << false << 0.0;
        QTest::newRow("nan") << "nan" << false << 0.0;
        QTest::newRow("two signs") << "--1" << false << 0.0;
    }

    void textToFloat()
    {
        checkConversion<double>(::textToFloat, "floating point");
    }
};

SQLTOOL_CORE_TEST_MAIN(NumFormatTest)
#include "tst_numformat.moc"
