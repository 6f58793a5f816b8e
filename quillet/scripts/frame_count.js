// The number of frames of the window.
return w.frames.length;
