// Answers at all: the page's renderer is there and not busy.
return 1;
