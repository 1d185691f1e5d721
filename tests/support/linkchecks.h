#pragma once

// How the rows of the three interface tables must link, as SQL that counts
// the rows breaking each rule. Written for both SQLite and PostgreSQL, and
// independent of the programs that write the rows.

#include <QList>
#include <QMap>
#include <QString>

namespace linkchecks {

struct Check
{
    QString name;
    QString sql; // counts the rows (or values) that break the rule
};

inline const QString IsCancel = QStringLiteral("upper(%1.owflag) = 'WTH'");
inline const QString IsOrder = QStringLiteral("upper(%1.owflag) <> 'WTH'");

inline QList<Check> checks()
{
    const QString oOrder = IsOrder.arg(QLatin1Char('o'));
    const QString oCancel = IsCancel.arg(QLatin1Char('o'));
    const QString cOrder = IsOrder.arg(QLatin1Char('c'));
    const QString cCancel = IsCancel.arg(QLatin1Char('c'));
    return {
        // An order's confirmation: same reff, an order's kind.
        {QStringLiteral("confirmationWithoutOneOrder"),
         QStringLiteral("select count(*) from ashare_ordwth2 c where %1 and (select count(*) from ashare_ordwth o "
                        "where o.reff = c.reff and %2) <> 1").arg(cOrder, oOrder)},
        // A cancel's confirmation: same reff and ordrec, kind WTH.
        {QStringLiteral("cancelConfirmationWithoutOneCancel"),
         QStringLiteral("select count(*) from ashare_ordwth2 c where %1 and (select count(*) from ashare_ordwth o "
                        "where o.reff = c.reff and %2 and cast(o.ordrec as int) = cast(c.ordrec as int)) <> 1")
             .arg(cCancel, oCancel)},
        {QStringLiteral("orderWithSeveralConfirmations"),
         QStringLiteral("select count(*) from ashare_ordwth o where %1 and (select count(*) from ashare_ordwth2 c "
                        "where c.reff = o.reff and %2) > 1").arg(oOrder, cOrder)},
        {QStringLiteral("waitingRowAnswered"),
         QStringLiteral("select count(*) from ashare_ordwth o where o.status in ('R','r') and exists "
                        "(select 1 from ashare_ordwth2 c where c.reff = o.reff)")},
        {QStringLiteral("acceptedWithoutOrderNumber"),
         QStringLiteral("select count(*) from ashare_ordwth2 where status in ('O','W') and "
                        "(teordernum is null or trim(teordernum) = '')")},
        {QStringLiteral("fillsAboveOrder"),
         QStringLiteral("select count(*) from ashare_ordwth o where %1 and (select sum(cjsl) from ashare_cjhb t "
                        "where t.sqbh = o.reff) > cast(o.qty as int)").arg(oOrder)},
        // Trades belong to accepted orders only (counted per sqbh).
        {QStringLiteral("tradeOfNoAcceptedOrder"),
         QStringLiteral("select count(distinct t.sqbh) from ashare_cjhb t where not exists (select 1 from "
                        "ashare_ordwth o join ashare_ordwth2 c on c.reff = o.reff and %1 and c.status = 'O' "
                        "where o.reff = t.sqbh and %2)").arg(cOrder, oOrder)},
        {QStringLiteral("tradeBeforeOrder"),
         QStringLiteral("select count(*) from ashare_cjhb where cast(cjsj as int) < cast(sbsj as int)")},
        {QStringLiteral("amountNotExact"),
         QStringLiteral("select count(*) from ashare_cjhb where abs(cjje - cjjg * cjsl) >= 0.005")},
        {QStringLiteral("tradeNumberRepeated"),
         QStringLiteral("select count(*) from (select cjbh from ashare_cjhb group by cjbh having count(*) > 1) x")},
        {QStringLiteral("recNumGap"),
         QStringLiteral("select count(*) from ashare_ordwth a where a.rec_num < (select max(rec_num) from "
                        "ashare_ordwth) and not exists (select 1 from ashare_ordwth b where b.rec_num = a.rec_num + 1)")},
        {QStringLiteral("recNumRepeated"),
         QStringLiteral("select count(*) from (select rec_num from ashare_ordwth group by rec_num "
                        "having count(*) > 1) x")},
        {QStringLiteral("confirmationRecNumGap"),
         QStringLiteral("select count(*) from ashare_ordwth2 a where a.rec_num < (select max(rec_num) from "
                        "ashare_ordwth2) and not exists (select 1 from ashare_ordwth2 b where b.rec_num = a.rec_num + 1)")},
        {QStringLiteral("reffRepeated"),
         QStringLiteral("select count(*) from (select reff from ashare_ordwth o where %1 group by reff "
                        "having count(*) > 1) x").arg(oOrder)},
        {QStringLiteral("cancelOfNoOrder"),
         QStringLiteral("select count(*) from ashare_ordwth c where %1 and not exists (select 1 from ashare_ordwth o "
                        "where o.rec_num = cast(c.ordrec as int) and %2)").arg(cCancel, oOrder)},
        {QStringLiteral("cancelNotBelowOwn"),
         QStringLiteral("select count(*) from ashare_ordwth c where %1 and cast(c.ordrec as int) >= c.rec_num")
             .arg(cCancel)},
        // A cancel accepted: qty2 is what the order had left unfilled.
        {QStringLiteral("cancelledQuantityWrong"),
         QStringLiteral("select count(*) from ashare_ordwth2 c join ashare_ordwth o on o.rec_num = cast(c.ordrec as int) "
                        "and %1 where %2 and c.status = 'W' and cast(c.qty2 as int) <> cast(o.qty as int) - "
                        "coalesce((select sum(cjsl) from ashare_cjhb t where t.sqbh = o.reff), 0)").arg(oOrder, cCancel)},
        // The statistics add these up: never null.
        {QStringLiteral("nullInSummedColumn"),
         QStringLiteral("select (select count(*) from ashare_cjhb where cjsl is null or cjje is null) + "
                        "(select count(*) from ashare_ordwth where qty is null) + "
                        "(select count(*) from ashare_ordwth2 where qty is null)")},
    };
}

// Runs every check with `count` (SQL → number) and gives the ones whose
// count differs from the expected one (0 unless named in `expected`), as
// "name: count (expected n)" texts.
template <typename Count>
QStringList failures(Count count, const QMap<QString, qint64> &expected = {}, const QStringList &skipped = {})
{
    QStringList failed;
    for (const Check &check : checks()) {
        if (skipped.contains(check.name))
            continue;
        const qint64 n = count(check.sql);
        const qint64 want = expected.value(check.name, 0);
        if (n != want)
            failed << QStringLiteral("%1: %2 (expected %3)").arg(check.name).arg(n).arg(want);
    }
    return failed;
}

} // namespace linkchecks
