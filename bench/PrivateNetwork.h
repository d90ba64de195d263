// Benchmarks that start servers run in a private network namespace whose
// only interface is loopback, so nothing they send can leave the machine.
#pragma once

namespace optivane::bench {

// Whether this process was started inside such a namespace (by
// tests/run-in-netns.sh, which marks it).
bool InPrivateNetwork();
// Runs the program of argv again inside one, through tests/run-in-netns.sh;
// returns only when that cannot be started.
void RunInPrivateNetwork(char** argv);

}  // namespace optivane::bench
