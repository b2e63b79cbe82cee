#pragma once

// A desktop session starts a process with a soft limit of 1,024 open files while allowing far
// more; a Master serving many Slaves (and idle connections it did not ask for) needs them.
namespace DescriptorLimit {

// Raises the soft limit on open files to the hard one; false when that fails (logged). Nothing
// in the program uses select(), so descriptors above 1,023 are safe.
bool raiseToHard();

}  // namespace DescriptorLimit
