// Which library the zip stand-ins play, chosen for tests through KVXZIP_MODEL: the plain
// model is a decent outside library (it writes where it is told, reports the sources it
// cannot read and a full disk, checks CRC-32 on extraction); "careless" answers success
// whatever happened and checks nothing, so that the toolbox's own safeguards, which
// neither model takes for it, can be tested against one.
#pragma once

namespace kvxzip {

enum class LibraryModel { Plain, Careless };

// Read at each call; anything but "careless" is the plain model.
LibraryModel LibraryModelFromEnvironment();

}  // namespace kvxzip
