#include "discovery/transfer_report.h"

#include "discovery/http_get.h"
#include "discovery/lookup_progress.h"
#include "platform/debug_output.h"

namespace {

// Longest error description reported.
constexpr int kErrorTextMax = 511;

class NoLookupProgress final : public LookupProgressService {
public:
    void LookupBegan(const QString& /*url*/) override {}
    void LookupEnded() override {}
};

} // namespace

template <> HttpLimits& platform::Services<HttpLimits>::Own() {
    static HttpLimits own;
    return own;
}

template <> LookupProgressService& platform::Services<LookupProgressService>::Own() {
    static NoLookupProgress own;
    return own;
}

void ReportTransferError(int code, const QString& description) {
    platform::OutputDebugStringW(QStringLiteral("例外が発生しました。\r\nエラー: %1\r\n%2\r\n")
                                     .arg(code)
                                     .arg(description.left(kErrorTextMax)));
}
