#include <cstdlib>

#include "kinds.h"
#include "wrapperGenSignalWave.h"

namespace {
// Packed record fields cannot bind to options; options fill this first.
struct AwgnOptions {
    double bandwidth = 200e3;
    double duration = 0.01;
    unsigned seed = 1;
    CLI::Option* seedOption = nullptr;
};
}  // namespace

std::unique_ptr<Kind> addAwgnKind(CLI::App& app, OutputOptions& out) {
    auto kind = std::make_unique<Kind>();
    auto o = std::make_shared<AwgnOptions>();
    kind->name = "awgn";
    kind->description = "band-limited white Gaussian noise";
    kind->defaultSampleRate = 1e6;
    kind->command = app.add_subcommand("awgn", "band-limited complex white Gaussian noise centred on 0 Hz");
    CLI::App* cmd = kind->command;
    cmd->add_option("--bandwidth", o->bandwidth,
                    "two-sided noise bandwidth in Hz (above half the sample rate acts as half)")
        ->check(FinitePositive)
        ->capture_default_str();
    cmd->add_option("--duration", o->duration, "length in seconds")->check(FinitePositive)->capture_default_str();
    // The library never seeds rand(); without --seed the noise continues
    // the C library's default stream.
    o->seedOption = cmd->add_option("--seed", o->seed, "seed for the C library's rand() (0 ... 4294967295)");
    addOutputOptions(cmd, out);
    kind->generate = [o](int handle, double sampleRate, int16_t** iq, int* count) {
        if (o->seedOption->count() > 0) std::srand(o->seed);
        const AWGNParams p{o->bandwidth, o->duration};
        return GenerateAWGNWaveform(handle, &p, iq, count, sampleRate);
    };
    kind->fields = [o] {
        nlohmann::json f{{"bandwidth", o->bandwidth}, {"duration", o->duration}};
        if (o->seedOption->count() > 0) f["seed"] = o->seed;
        return f;
    };
    return kind;
}
