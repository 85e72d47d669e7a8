#include "fadingProfiles.h"

#include "wrapperGenSignalWave.h"

namespace {

// TS 36.104 Table B.2-2, Extended Pedestrian A.
constexpr ProfileRow kEpa[] = {{0, 0.0, false},    {30, -1.0, false},   {70, -2.0, false},  {90, -3.0, false},
                               {110, -8.0, false}, {190, -17.2, false}, {410, -20.8, false}};
// Table B.2-3, Extended Vehicular A.
constexpr ProfileRow kEva[] = {{0, 0.0, false},     {30, -1.5, false},    {150, -1.4, false},
                               {310, -3.6, false},  {370, -0.6, false},   {710, -9.1, false},
                               {1090, -7.0, false}, {1730, -12.0, false}, {2510, -16.9, false}};
// Table B.2-4, Extended Typical Urban.
constexpr ProfileRow kEtu[] = {{0, -1.0, false},    {50, -1.0, false},   {120, -1.0, false},
                               {200, 0.0, false},   {230, 0.0, false},   {500, 0.0, false},
                               {1600, -3.0, false}, {2300, -5.0, false}, {5000, -7.0, false}};

// TR 38.901 Table 7.7.2-1, TDL-A.
constexpr ProfileRow kTdlA[] = {
    {0.0000, -13.4, false}, {0.3819, 0.0, false},   {0.4025, -2.2, false},  {0.5868, -4.0, false},
    {0.4610, -6.0, false},  {0.5375, -8.2, false},  {0.6708, -9.9, false},  {0.5750, -10.5, false},
    {0.7618, -7.5, false},  {1.5375, -15.9, false}, {1.8978, -6.6, false},  {2.2242, -16.7, false},
    {2.1717, -12.4, false}, {2.4942, -15.2, false}, {2.5119, -10.8, false}, {3.0582, -11.3, false},
    {4.0810, -12.7, false}, {4.4579, -16.2, false}, {4.5695, -18.3, false}, {4.7966, -18.9, false},
    {5.0066, -16.6, false}, {5.3043, -19.9, false}, {9.6586, -29.7, false}};
// Table 7.7.2-2, TDL-B.
constexpr ProfileRow kTdlB[] = {
    {0.0000, 0.0, false},   {0.1072, -2.2, false},  {0.2155, -4.0, false}, {0.2095, -3.2, false},
    {0.2870, -9.8, false},  {0.2986, -1.2, false},  {0.3752, -3.4, false}, {0.5055, -5.2, false},
    {0.3681, -7.6, false},  {0.3697, -3.0, false},  {0.5700, -8.9, false}, {0.5283, -9.0, false},
    {1.1021, -4.8, false},  {1.2756, -5.7, false},  {1.5474, -7.5, false}, {1.7842, -1.9, false},
    {2.0169, -7.6, false},  {2.8294, -12.2, false}, {3.0219, -9.8, false}, {3.6187, -11.4, false},
    {4.1067, -14.9, false}, {4.2790, -9.2, false},  {4.7834, -11.3, false}};
// Table 7.7.2-3, TDL-C.
constexpr ProfileRow kTdlC[] = {
    {0.0000, -4.4, false},  {0.2099, -1.2, false},  {0.2219, -3.5, false},  {0.2329, -5.2, false},
    {0.2176, -2.5, false},  {0.6366, 0.0, false},   {0.6448, -2.2, false},  {0.6560, -3.9, false},
    {0.6584, -7.4, false},  {0.7935, -7.1, false},  {0.8213, -10.7, false}, {0.9336, -11.1, false},
    {1.2285, -5.1, false},  {1.3083, -6.8, false},  {2.1704, -8.7, false},  {2.7105, -13.2, false},
    {4.2589, -13.9, false}, {4.6003, -13.9, false}, {5.4902, -15.8, false}, {5.6077, -17.1, false},
    {6.3065, -16.0, false}, {6.6374, -15.7, false}, {7.0427, -21.6, false}, {8.6523, -22.8, false}};
// Table 7.7.2-4, TDL-D: tap 1 is a line-of-sight part and a Rayleigh part.
constexpr ProfileRow kTdlD[] = {
    {0.000, -0.2, true},   {0.000, -13.5, false}, {0.035, -18.8, false}, {0.612, -21.0, false}, {1.363, -22.8, false},
    {1.405, -17.9, false}, {1.804, -20.1, false}, {2.596, -21.9, false}, {1.775, -22.9, false}, {4.042, -27.8, false},
    {7.937, -23.6, false}, {9.424, -24.8, false}, {9.708, -30.0, false}, {12.525, -27.7, false}};
// Table 7.7.2-5, TDL-E.
constexpr ProfileRow kTdlE[] = {{0.0000, -0.03, true},  {0.0000, -22.03, false}, {0.5133, -15.8, false},
                                {0.5440, -18.1, false}, {0.5630, -19.8, false},  {0.5440, -22.9, false},
                                {0.7112, -22.4, false}, {1.9092, -18.6, false},  {1.9293, -20.8, false},
                                {1.9589, -22.6, false}, {2.6426, -22.3, false},  {3.7136, -25.6, false},
                                {5.4524, -20.2, false}, {12.0034, -29.8, false}, {20.6519, -29.2, false}};

template <int N>
constexpr FadingProfile profile(const char* name, const ProfileRow (&rows)[N], bool normalised) {
    return FadingProfile{name, rows, N, normalised};
}

constexpr FadingProfile kProfiles[] = {profile("EPA", kEpa, false),   profile("EVA", kEva, false),
                                       profile("ETU", kEtu, false),   profile("TDL-A", kTdlA, true),
                                       profile("TDL-B", kTdlB, true), profile("TDL-C", kTdlC, true),
                                       profile("TDL-D", kTdlD, true), profile("TDL-E", kTdlE, true)};

}  // namespace

const FadingProfile* fadingProfile(int fading) {
    if (fading < GENSIGNAL_FADING_EPA || fading > GENSIGNAL_FADING_TDL_E) return nullptr;
    return &kProfiles[fading - GENSIGNAL_FADING_EPA];
}
