import QtWebEngine

// The module's pages. A page with an HTTP error status is shown, not failed.
WebEngineView {
    onLoadingChanged: function (info) {
        if (info.status === WebEngineView.LoadFailedStatus
                && info.errorDomain !== WebEngineView.HttpStatusCodeDomain) {
            loadFailures.failed(info.url.toString(), info.errorString)
        }
    }
}
