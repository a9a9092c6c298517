// Which library the zip stand-ins play, chosen for tests through KVXZIP_MODEL: the plain
// model guards the archives it writes and reads; "careless" behaves as a careless outside
// library would (writes in place, checks nothing, answers success whatever happened), so
// that the toolbox's own safeguards can be tested against one.
#pragma once

namespace kvxzip {

enum class LibraryModel { Plain, Careless };

// Read at each call; anything but "careless" is the plain model.
LibraryModel LibraryModelFromEnvironment();

}  // namespace kvxzip
