cb({"rc":0,"rt":10,"svr":181669437,"lt":1,"full":0,"dlmkts":"","data":null});
