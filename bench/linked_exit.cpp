// The yardstick for a second start's handover: a program that loads the same libraries as the
// program (it is linked like it) and ends at once. What a handing-over start takes beyond this
// is its own work.
#include <QCoreApplication>

int main() {
    return QCoreApplication::applicationPid() > 0 ? 0 : 1;
}
