// How many threads a parallel region of the library may usefully take. A
// region ends only when its last thread does; while another process's
// threads are runnable on the cores, a team thread waits for a time slice
// and every call pays for it. So the team takes only the cores that no
// other process is using (at least one), as the machine stands now.
#pragma once

// GENSIGNAL_TEAMS=host in the environment keeps the host's team whatever the
// load: for tests that must race real teams, and for hosts that place their
// threads on cores themselves.
//
// `wanted` while no other process has a runnable thread; else at most the
// processors minus those threads, at least 1. Looked at again at most every few
// milliseconds, and the larger of the last two looks taken, so that a
// moment's thread elsewhere does not count; reads two small files of /proc
// and allocates nothing.
int teamOnFreeCores(int wanted);

// The same for the runtime's default team (omp_get_max_threads()).
int availableTeam();
