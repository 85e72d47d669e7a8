#include "messages.h"

#include "channelOptions.h"
#include "wrapperGenSignalWave.h"

std::string inOptionTerms(const KindTable& kind, const std::string& message) {
    // The kind's channel: its fields are the channel options' (the noise
    // level's option is not known here, so its field stays named).
    if (message.rfind("GenSignalChannel.", 0) == 0) return inChannelTerms(message, GenSignalChannel{});
    const size_t equals = message.find(" = ");
    if (equals == std::string::npos) return message;
    const std::string path = message.substr(0, equals);
    std::string name;
    if (path == "sampleRate") name = path;
    for (const Field& f : kind.fields) {
        if (f.target == FieldTarget::Record && path == kind.record + "." + f.name) name = f.name;
        if (f.target == FieldTarget::Argument && path == f.name) name = f.name;
    }
    if (name.empty()) return message;
    return "--" + optionName(name) + " " + message.substr(equals + 3);
}

std::string lastReason() {
    char message[512];
    return GenSignalGetLastError(message, sizeof message) > 0 ? message : "no reason given";
}
