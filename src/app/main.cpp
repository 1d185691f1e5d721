#include "app/application.h"
#include "app/fonts.h"
#include "app/forms.h"
#include "app/unit1.h"

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    installFontSubstitutions();
    createForms();
    mainform->show();
    const int result = app.exec();
    destroyForms();
    return result;
}
