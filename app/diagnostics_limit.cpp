#include "app/diagnostics_limit.h"

platform::OutputBudget DiagnosticsBudget() {
    return platform::OutputBudget(kDiagnosticsPerSecond, kDiagnosticsBurst);
}

void LimitDiagnostics() {
    static platform::OutputBudget budget = DiagnosticsBudget();
    platform::Services<platform::OutputBudget>::Install(&budget);
}
