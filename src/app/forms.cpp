#include "app/forms.h"

#include "app/mainform.h"
#include "connection/chgpassform.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "connection/infoform.h"
#include "connection/loginform.h"
#include "query/countform.h"
#include "query/queryform.h"
#include "reference/aboutform.h"
#include "monitor/monitorform.h"
#include "monitor/overviewform.h"
#include "reference/rtnform.h"
#include "monitor/traceform.h"
#include "ui/command.h"
#include "ui/memorynotice.h"

template <typename T>
static void destroy(T *&instance)
{
    delete instance;
    instance = nullptr;
}

void createForms()
{
    mainform = new Tmainform;
    loginform = new Tloginform;
    datamod = new Tdatamod;
    queryform = new Tqueryform;
    infoform = new Tinfoform;
    aboutform = new Taboutform;
    chgpassform = new Tchgpassform;
    rtnform = new Trtnform;
    countform = new Tcountform;
    monitorform = new Tmonitorform;
    traceform = new Ttraceform;
    overviewform = new Toverviewform;
    createCommandWindows();
    setOutOfMemoryStatusBar(mainform->statusBar());
    QObject::connect(loginform, &Tloginform::loggedIn, mainform, &Tmainform::enterLoggedInState);
    // A connection given up under a stuck command logs the program out.
    QObject::connect(datamod->con, &Connection::lost, mainform, &Tmainform::enterLoggedOutState);
}

void destroyForms()
{
    setOutOfMemoryStatusBar(nullptr);
    destroyCommandWindows();
    destroy(overviewform);
    destroy(traceform);
    destroy(monitorform);
    destroy(countform);
    destroy(rtnform);
    destroy(chgpassform);
    destroy(aboutform);
    destroy(infoform);
    destroy(queryform);
    destroy(datamod);
    destroy(loginform);
    destroy(mainform);
}
