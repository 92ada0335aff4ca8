#pragma once

#include "player/viewer_containment.h"

#include <QString>
#include <QUrl>
#include <optional>

// The system web view's messages between the viewer's documents and the host, decided without
// the web view: what a message says, what the host answers with, and what becomes of a document.
// The transport's script (viewer_transport_webview.js) writes them.
namespace flashbridge {

// The one function the web view binds for the viewer's documents.
inline const QString kWebViewBinding = QStringLiteral("flashHostCall");

struct ViewerMessage {
    enum class Kind {
        Invalid,  // not ours, or malformed: ignored, and not answered
        Document, // a document was created: its address
        State,    // the document's readyState
        Call,     // the viewer's call to its host
    };
    Kind kind = Kind::Invalid;
    QString id;    // the message's number, for the answer
    QString text;  // the state or the call's request
    QUrl document; // Document: where it is
    // Document: whether its page has no way of its own to post to the host.
    bool transportHidden = false;
};

// Reads one message as the web view hands it over: its number and its parameters (a JSON
// array: token, kind, text). A message without the web view's `token` is Invalid.
ViewerMessage ReadViewerMessage(const QString& id, const QString& params, const QString& token);

// The script that gives the message `id` its answer (null when there is none); empty when the id
// is no message number (a page cannot have script run by way of it).
QString AnswerScript(const QString& id, const std::optional<QString>& answer);

// What becomes of a document the viewer now shows.
enum class DocumentStep {
    Serve,  // the movie's own: it gets the bridge
    Pass,   // elsewhere, and the policy lets it be: no bridge
    Refuse, // elsewhere, and the policy does not let the viewer go there: the viewer is stopped
    Failed, // the web view's own page (an error): the movie did not load
};
DocumentStep StepForDocument(const ViewerContainment& containment, const QUrl& document);

// A fresh token for one web view: 128 random bits in hexadecimal.
QString NewViewerToken();

} // namespace flashbridge
