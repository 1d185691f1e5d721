#include "app/forms.h"

#include "app/unit1.h"
#include "connection/chgpass.h"
#include "connection/connection.h"
#include "connection/datamodule.h"
#include "connection/info.h"
#include "connection/login.h"
#include "query/count.h"
#include "query/query.h"
#include "reference/about.h"
#include "reference/rtncode.h"

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
    // A connection given up under a stuck command logs the program out.
    QObject::connect(datamod->con, &Connection::lost, mainform, &Tmainform::enterLoggedOutState);
}

void destroyForms()
{
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
