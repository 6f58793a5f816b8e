// The number of cells of row A.r of table A.t (after tables.js).
return T[A.t - 1].rows[A.r - 1].cells.length;
