// GenTesk3dModule.cpp: the .cti's own translation unit. Static objects that
// must be created in a fixed order at load time live here, in that order.
