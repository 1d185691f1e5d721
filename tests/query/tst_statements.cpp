#include "support/testsupport.h"

#include "query/statements.h"

Q_DECLARE_METATYPE(TradeStatement)

namespace {

// Parameters as name, value, name, value …
QStringList flat(const Parameters &parameters)
{
    QStringList list;
    for (const auto &parameter : parameters)
        list << parameter.name << parameter.value;
    return list;
}

} // namespace

// Choice of the trade report statement from the four time boxes, and the
// parameters that go with it, without a window.
class StatementsTest : public QObject
{
    Q_OBJECT
private slots:
    void choice_data()
    {
        QTest::addColumn<QString>("sbsjFrom");
        QTest::addColumn<QString>("sbsjTo");
        QTest::addColumn<QString>("cjsjFrom");
        QTest::addColumn<QString>("cjsjTo");
        QTest::addColumn<TradeStatement>("expected");
        QTest::addColumn<QStringList>("timeParameters"); // name, value, name, value

        const QStringList none;
        QTest::newRow("all empty") << "" << "" << "" << "" << TradeStatement::NoTime << none;
        // Declaration time range alone.
        QTest::newRow("sbsj 5/5") << "94515" << "95959" << "" << "" << TradeStatement::SbsjRange
                                  << QStringList{":tmptime3", "94515", ":tmptime4", "95959"};
        QTest::newRow("sbsj 6/6") << "100000" << "142559" << "" << "" << TradeStatement::SbsjRange
                                  << QStringList{":tmptime3", "100000", ":tmptime4", "142559"};
        QTest::newRow("sbsj 9-start 5/6") << "94515" << "142559" << "" << "" << TradeStatement::SbsjSplit
                                          << QStringList{":tmptime3", "94515", ":tmptime4", "142559"};
        QTest::newRow("sbsj 8-start 5/6") << "85959" << "100000" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj 6/5") << "100000" << "95959" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj 4/4") << "1000" << "1200" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj 4/6 starting with 9") << "9300" << "100000" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj 5/4") << "94515" << "9999" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj equal bounds") << "94515" << "94515" << "" << "" << TradeStatement::SbsjRange
                                           << QStringList{":tmptime3", "94515", ":tmptime4", "94515"};
        QTest::newRow("sbsj reversed 6/6 still runs") << "142559" << "100000" << "" << ""
                                                      << TradeStatement::SbsjRange
                                                      << QStringList{":tmptime3", "142559", ":tmptime4", "100000"};
        QTest::newRow("sbsj lone from") << "94515" << "" << "" << "" << TradeStatement::None << none;
        QTest::newRow("sbsj lone to") << "" << "95959" << "" << "" << TradeStatement::None << none;
        // Trade time range alone.
        QTest::newRow("cjsj 5/5") << "" << "" << "93000" << "95959" << TradeStatement::CjsjRange
                                  << QStringList{":tmptime5", "93000", ":tmptime6", "95959"};
        QTest::newRow("cjsj 6/6") << "" << "" << "100000" << "142559" << TradeStatement::CjsjRange
                                  << QStringList{":tmptime5", "100000", ":tmptime6", "142559"};
        QTest::newRow("cjsj 9-start 5/6") << "" << "" << "90000" << "100000" << TradeStatement::CjsjSplit
                                          << QStringList{":tmptime5", "90000", ":tmptime6", "100000"};
        QTest::newRow("cjsj 8-start 5/6") << "" << "" << "85959" << "142559" << TradeStatement::None << none;
        QTest::newRow("cjsj 6/5") << "" << "" << "130000" << "94515" << TradeStatement::None << none;
        QTest::newRow("cjsj 4/4") << "" << "" << "1000" << "1200" << TradeStatement::None << none;
        QTest::newRow("cjsj lone to") << "" << "" << "" << "142559" << TradeStatement::None << none;
        // Both ranges, or a complete range with a lone bound of the other.
        QTest::newRow("both ranges") << "94515" << "95959" << "100000" << "142559" << TradeStatement::None << none;
        QTest::newRow("both ranges unusable") << "1" << "2" << "3" << "4" << TradeStatement::None << none;
        QTest::newRow("sbsj range, lone cjsj from") << "94515" << "142559" << "93000" << ""
                                                    << TradeStatement::SbsjSplit
                                                    << QStringList{":tmptime3", "94515", ":tmptime4", "142559"};
        QTest::newRow("sbsj range unusable, lone cjsj") << "85959" << "100000" << "" << "95959"
                                                        << TradeStatement::None << none;
        QTest::newRow("cjsj range, lone sbsj from") << "94515" << "" << "93000" << "95959"
                                                    << TradeStatement::CjsjRange
                                                    << QStringList{":tmptime5", "93000", ":tmptime6", "95959"};
        QTest::newRow("cjsj range, lone sbsj to") << "" << "120000" << "100000" << "142559"
                                                  << TradeStatement::CjsjRange
                                                  << QStringList{":tmptime5", "100000", ":tmptime6", "142559"};
        QTest::newRow("lone bounds of both") << "94515" << "" << "" << "142559" << TradeStatement::None << none;
    }

    void choice()
    {
        QFETCH(QString, sbsjFrom);
        QFETCH(QString, sbsjTo);
        QFETCH(QString, cjsjFrom);
        QFETCH(QString, cjsjTo);
        QFETCH(TradeStatement, expected);
        QFETCH(QStringList, timeParameters);

        const TradeChoice choice = chooseTradeStatement(sbsjFrom, sbsjTo, cjsjFrom, cjsjTo);
        QCOMPARE(choice.statement, expected);
        QCOMPARE(flat(choice.timeParameters), timeParameters);
    }

    // The five substring parameters come first, in box order, each "%" +
    // text + "%" unchanged; the time bounds follow as typed.
    void conditionParameters()
    {
        TradeConditions conditions;
        conditions.gddm = QStringLiteral("A12");
        conditions.zqdm = QStringLiteral("600");
        conditions.cjsl = QString();
        conditions.bcye = QStringLiteral(" 5 ");
        conditions.bs = QStringLiteral("B");
        conditions.sbsjFrom = QStringLiteral("94515");
        conditions.sbsjTo = QStringLiteral("142559");
        const StatementText statement = tradeConditionStatement(conditions);
        QCOMPARE(flat(statement.parameters),
                 (QStringList{":tmpgddm", "%A12%", ":tmpzqdm", "%600%", ":tmpcjsl", "%%", ":tmpbcye",
                              "% 5 %", ":tmpbs", "%B%", ":tmptime3", "94515", ":tmptime4", "142559"}));
        QCOMPARE(statement.lines.size(), 2);
        QVERIFY(statement.lines.at(0).startsWith(QStringLiteral("select distinct A.*")));
    }

    void nothingToRun()
    {
        TradeConditions conditions;
        conditions.zqdm = QStringLiteral("600");
        conditions.cjsjFrom = QStringLiteral("85959");
        conditions.cjsjTo = QStringLiteral("100000");
        const StatementText statement = tradeConditionStatement(conditions);
        QVERIFY(statement.lines.isEmpty());
        QVERIFY(statement.parameters.isEmpty());
    }

    void orderParameters()
    {
        OrderConditions conditions;
        conditions.acc = QStringLiteral("A1");
        conditions.stock = QStringLiteral("6");
        conditions.qty = QStringLiteral("100");
        conditions.price = QStringLiteral("10.5");
        conditions.bs = QStringLiteral("S");
        conditions.qty2 = QStringLiteral("0");
        QCOMPARE(flat(ordwthConditionStatement(conditions).parameters),
                 (QStringList{":tmpgddm", "%A1%", ":tmpzqdm", "%6%", ":tmpcjsl", "%100%",
                              ":tmpbcye", "%10.5%", ":tmpbs", "%S%"}));
        QCOMPARE(flat(ordwth2ConditionStatement(conditions).parameters),
                 (QStringList{":tmpgddm", "%A1%", ":tmpzqdm", "%6%", ":tmpcjsl", "%100%",
                              ":tmpbcye", "%10.5%", ":tmpbs", "%S%", ":tmpqty2", "%0%"}));
    }

    // Condition boxes hold ASCII only: every parameter is declared so, and
    // SQL Server then compares its varchar columns without converting them.
    void conditionParametersAreAscii()
    {
        TradeConditions trade;
        trade.sbsjFrom = QStringLiteral("93000");
        trade.sbsjTo = QStringLiteral("100000");
        OrderConditions order;
        const QList<Parameters> all = {tradeConditionStatement(trade).parameters,
                                       ordwthConditionStatement(order).parameters,
                                       ordwth2ConditionStatement(order).parameters};
        for (const Parameters &parameters : all) {
            QVERIFY(!parameters.isEmpty());
            for (const Parameter &parameter : parameters)
                QVERIFY2(parameter.type == ParameterType::AsciiText, qPrintable(parameter.name));
        }
        QCOMPARE(all.first().size(), 7);
    }
};

SQLTOOL_TEST_MAIN(StatementsTest)
#include "tst_statements.moc"
