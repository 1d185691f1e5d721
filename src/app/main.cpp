#include "app/application.h"
#include "app/forms.h"
#include "app/mainform.h"
#include "ui/fonts.h"

int main(int argc, char *argv[])
{
    // The program reads no command line: the toolkit is given the program
    // name only, so options meant for it are ignored as well.
    int toolkitArgc = argc > 0 ? 1 : 0;
    Application app(toolkitArgc, argv);
    installFontSubstitutions();
    createForms();
    mainform->show();
    const int result = app.exec();
    destroyForms();
    return result;
}
