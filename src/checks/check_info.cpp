#include "checks/check_info.h"

namespace kalvo {

namespace {

constexpr std::array<CheckInfo, kCheckCount> kChecks = {{
    {CheckId::Clock, "clock", "Clock",
     "The module's clock stamps the load profiles: a wrong clock, time zone or daylight-saving "
     "setting puts them at the wrong time."},
    {CheckId::Frequency, "frequency", "Frequency",
     "Off nominal: a supply condition (an island, a generator). Outside 45-65 Hz no supply "
     "measures this: the module's reading is wrong."},
    {CheckId::Voltages, "voltages", "Voltages",
     "Off nominal: a supply condition, not a module fault. A missing phase: a blown fuse, a loose "
     "voltage connection or a wrong wiring."},
    {CheckId::PhaseSequence, "phase_sequence", "Phase sequence",
     "A reversed sequence: two phases swapped at the meter's voltage terminals; energies and "
     "angles are then measured wrongly."},
    {CheckId::CurrentDirection, "current_direction", "Current direction",
     "A phase whose power flows against the others': its current transformer is mounted or wired "
     "the wrong way round."},
    {CheckId::PowerTriangle, "power_triangle", "Power triangle",
     "Totals that disagree with the phase values: a firmware or configuration fault (transformer "
     "ratios, a phase counted twice)."},
    {CheckId::Harmonics, "harmonics", "Harmonics",
     "A negative harmonic, or one above its fundamental, cannot be measured: the module's harmonic "
     "analysis is wrong."},
    {CheckId::TotaliserEncodings, "totaliser_encodings", "Totaliser encodings",
     "The 32-bit copy of a totaliser disagrees with its double: the firmware encodes it wrongly, "
     "or the decimals register is wrong."},
    {CheckId::ReactiveIdentities, "reactive_identities", "Reactive energy identities",
     "Q+ must be Q1 + Q2 and Q- must be Q3 + Q4: a meter that breaks this books reactive energy in "
     "the wrong quadrant."},
    {CheckId::LoadProfiles, "load_profiles", "Load profiles",
     "Profile stamps or channels whose two copies disagree, or a stamp in the future: the "
     "profile's storage or encoding is faulty."},
    {CheckId::TotalisersNeverDecrease, "totalisers_increase", "Totalisers never decrease",
     "A totaliser that goes back loses energy from the bill: a firmware fault, or a module that "
     "was reset."},
    {CheckId::EnergyFollowsPower, "energy_follows_power", "Energy follows power",
     "Active import energy that does not advance as the measured power gives: wrong meter "
     "constant, transformer ratio or pulse weighting."},
    {CheckId::ClockRuns, "clock_runs", "Clock runs",
     "A module clock that drifts needs its battery, crystal or time synchronisation seen to; its "
     "profiles drift with it."},
    {CheckId::DataAlive, "data_alive", "Data alive",
     "Values that stand still: the module no longer hears its meter (a broken optical or serial "
     "link) and serves its last image."},
}};

constexpr bool InOrder() {
    for (std::size_t i = 0; i < kChecks.size(); ++i) {
        if (static_cast<std::size_t>(kChecks[i].Id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(InOrder(), "one entry per check, in the order of the enumeration");

} // namespace

const CheckInfo& InfoOf(CheckId check) {
    return kChecks[static_cast<std::size_t>(check)];
}

const std::array<CheckInfo, kCheckCount>& AllChecks() {
    return kChecks;
}

} // namespace kalvo
