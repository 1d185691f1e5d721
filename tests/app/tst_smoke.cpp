#include "support/testsupport.h"

#include "app/unit1.h"

// Temporary: proves the harness builds and starts; replaced by real tests.
class SmokeTest : public QObject
{
    Q_OBJECT
private slots:
    void formsCreate()
    {
        testsupport::Forms forms;
        QVERIFY(mainform != nullptr);
    }
};

SQLTOOL_TEST_MAIN(SmokeTest)
#include "tst_smoke.moc"
