// The number of rows of table A.t (after tables.js).
return T[A.t - 1].rows.length;
