#include <QWidget>  // page logic links no Qt, so this must not be found
