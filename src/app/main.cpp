#include "app/main_form.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    kalvo::TmainForm mainForm(kalvo::MainFormEnvironment::System());
    mainForm.show();
    return QApplication::exec();
}
